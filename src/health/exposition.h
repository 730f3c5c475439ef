#pragma once

#include <QByteArray>
#include <QList>

// A scrape in the Prometheus text format, written family by family: the
// family's help and type, then its samples.
class Exposition
{
public:
    void family(const QByteArray& name, const char* type, const char* help);
    // `labels` as written between the braces: outcome="confirmed".
    void sample(const QByteArray& name, double value, const QByteArray& labels = QByteArray());

    QByteArray text() const { return m_text; }

    // Integral values without a decimal point, others in the shortest exact form
    // (the infinite bound of a histogram is written by the histogram).
    static QByteArray number(double value);

private:
    QByteArray m_text;
};

// Observations counted under upper bounds, written as one histogram family.
class Histogram
{
public:
    explicit Histogram(const QList<double>& bounds);

    void observe(double value);
    void write(Exposition& out, const QByteArray& name, const char* help) const;

private:
    QList<double> m_bounds;
    QList<quint64> m_counts; // per bound, not yet cumulative
    double m_sum = 0;
    quint64 m_count = 0;
};
