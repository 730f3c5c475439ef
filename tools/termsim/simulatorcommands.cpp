#include "simulatorcommands.h"

#include "recordbuilder.h"
#include "simulatedterminal.h"
#include "transitgenerator.h"

#include <QRegularExpression>
#include <QTextStream>
#include <QTimer>

using namespace Qt::StringLiterals;

SimulatorCommands::SimulatorCommands(QList<SimulatedTerminal*> terminals, QTextStream& out,
                                     QObject* parent)
    : QObject(parent)
    , m_terminals(std::move(terminals))
    , m_out(out)
{}

void SimulatorCommands::enqueue(const QStringList& lines)
{
    m_queue += lines;
    if (!m_paused)
        runQueued();
}

QString SimulatorCommands::unescape(const QString& text)
{
    static const QRegularExpression code(u"<(\\d{1,3})>"_s);
    QString result;
    qsizetype from = 0;
    for (auto it = code.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        const uint value = match.captured(1).toUInt();
        result += text.mid(from, match.capturedStart() - from);
        result += value < 256 ? QString(QChar(value)) : match.captured();
        from = match.capturedEnd();
    }
    return result + text.mid(from);
}

void SimulatorCommands::runQueued()
{
    while (!m_queue.isEmpty()) {
        int pauseMs = 0;
        if (!run(m_queue.takeFirst(), pauseMs)) {
            m_paused = true;
            QTimer::singleShot(pauseMs, this, [this] {
                m_paused = false;
                runQueued();
            });
            return;
        }
    }
}

bool SimulatorCommands::run(const QString& line, int& pauseMs)
{
    const QString trimmed = line.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u'#'))
        return true;
    QStringList words = trimmed.split(u' ', Qt::SkipEmptyParts);
    const QString command = words.takeFirst().toLower();
    if (command == u"quit"_s) {
        Q_EMIT quitRequested();
        return true;
    }
    if (command == u"wait"_s) {
        bool ok = false;
        pauseMs = words.value(0).toInt(&ok);
        if (ok && pauseMs >= 0)
            return false;
        m_out << "error: wait needs milliseconds\n";
        m_out.flush();
        return true;
    }
    SimulatedTerminal* target = terminal(words.value(0));
    if (!target) {
        m_out << "error: no terminal '" << words.value(0) << "' in: " << trimmed << '\n';
        m_out.flush();
        return true;
    }
    words.removeFirst();
    QString error;
    if (command == u"read"_s || command == u"store"_s) {
        RecordBuilder::Reading reading;
        QString record;
        if (RecordBuilder::parse(words, reading, error) &&
            RecordBuilder::build(reading, QDateTime::currentDateTime(), record, error)) {
            if (command == u"read"_s)
                target->sendUnasked(record);
            else
                target->storeRecord(record);
            return true;
        }
    } else if (command == u"generate"_s) {
        bool countOk = false;
        bool daysOk = words.size() < 2;
        const int count = words.value(0).toInt(&countOk);
        const int days = daysOk ? 3 : words.value(1).toInt(&daysOk);
        const QStringList badges = words.size() > 2 ? words[2].split(u',', Qt::SkipEmptyParts)
                                                    : TransitGenerator::DemoBadges;
        if (countOk && daysOk && count > 0 && days > 0 && !badges.isEmpty()) {
            const QStringList records = TransitGenerator::generate(target->number(), count, days,
                                                                   QDate::currentDate(), badges);
            for (const QString& record : records)
                target->storeRecord(record);
            return true;
        }
        error = u"expected generate TERMINAL COUNT [DAYS [BADGES]]"_s;
    } else if (command == u"fault"_s) {
        if (target->addFault(words.value(0), words.value(1).toInt()))
            return true;
        error = u"expected fault TERMINAL late-dir MS|lose-del|keep-del|drop-listing|silent|"
                "refuse|wrong-count N"_s;
    } else if (command == u"off"_s || command == u"on"_s) {
        if (target->setPowered(command == u"on"_s, error))
            return true;
    } else if (command == u"presence"_s) {
        target->sendUnasked(u"%1TRAX"_s.arg(target->number(), 4, 10, QChar(u'0')));
        return true;
    } else if (command == u"send"_s) {
        const qsizetype start = trimmed.indexOf(u' ', trimmed.indexOf(u' ') + 1);
        target->sendUnasked(start < 0 ? QString() : unescape(trimmed.mid(start + 1)));
        return true;
    } else {
        error = u"unknown command"_s;
    }
    m_out << "error: " << error << " in: " << trimmed << '\n';
    m_out.flush();
    return true;
}

SimulatedTerminal* SimulatorCommands::terminal(const QString& name) const
{
    for (SimulatedTerminal* candidate : m_terminals) {
        if (candidate->address() == name || QString::number(candidate->number()) == name)
            return candidate;
    }
    return nullptr;
}
