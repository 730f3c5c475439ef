#include "health/exposition.h"

#include <QLocale>

#include <algorithm>
#include <cmath>

void Exposition::family(const QByteArray& name, const char* type, const char* help)
{
    m_text += QByteArray("# HELP ") + name + ' ' + help + "\n# TYPE " + name + ' ' + type + '\n';
}

void Exposition::sample(const QByteArray& name, double value, const QByteArray& labels)
{
    m_text += name;
    if (!labels.isEmpty())
        m_text += '{' + labels + '}';
    m_text += ' ' + number(value) + '\n';
}

QByteArray Exposition::number(double value)
{
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QByteArray::number(qint64(value));
    return QByteArray::number(value, 'g', QLocale::FloatingPointShortest);
}

Histogram::Histogram(const QList<double>& bounds)
    : m_bounds(bounds)
    , m_counts(bounds.size(), 0)
{}

void Histogram::observe(double value)
{
    const auto bound = std::lower_bound(m_bounds.cbegin(), m_bounds.cend(), value);
    if (bound != m_bounds.cend())
        ++m_counts[bound - m_bounds.cbegin()];
    m_sum += value;
    ++m_count;
}

void Histogram::write(Exposition& out, const QByteArray& name, const char* help) const
{
    out.family(name, "histogram", help);
    const QByteArray bucket = name + "_bucket";
    quint64 below = 0;
    for (qsizetype i = 0; i < m_bounds.size(); ++i) {
        below += m_counts[i];
        out.sample(bucket, double(below), "le=\"" + Exposition::number(m_bounds[i]) + '"');
    }
    out.sample(bucket, double(m_count), "le=\"+Inf\"");
    out.sample(name + "_sum", m_sum);
    out.sample(name + "_count", double(m_count));
}
