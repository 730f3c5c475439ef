#include "benchworkspace.h"

#include "app/recordwriter.h"
#include "support/freeport.h"

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

bool g_startedPostgreSQL = false;

} // namespace

BenchWorkspace::BenchWorkspace(const QString& backend)
{
    qputenv("PARVIX_TEST_BACKEND", backend.toLatin1());
    m_database = std::make_unique<TestDatabase>(m_files.path());
}

BenchWorkspace::~BenchWorkspace()
{
    stopServer();
}

void BenchWorkspace::writeSettings(const QList<QStringList>& terminals)
{
    m_files.writeCompleteSettings(terminals);
    m_files.write(u"Set/Connection.set"_s,
                  RecordWriter::quotedRecord({m_database->connectionString()}));
}

bool BenchWorkspace::startServer(double timeScale, Mode mode, const QStringList& more)
{
    m_server.setWorkingDirectory(m_files.path());
    m_server.setStandardOutputFile(QProcess::nullDevice());
    QStringList arguments{u"--time-scale"_s, QString::number(timeScale), u"--listen-port"_s,
                          QString::number(freeLoopbackPort())};
    arguments += more;
    if (mode == Mode::Headless) {
        arguments.prepend(u"--headless"_s);
    } else {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        m_server.setProcessEnvironment(environment);
    }
    m_server.start(QString::fromLatin1(PARVIX_BINARY), arguments);
    return m_server.waitForStarted(5000);
}

void BenchWorkspace::stopServer()
{
    if (m_server.state() == QProcess::NotRunning)
        return;
    m_server.terminate();
    if (!m_server.waitForFinished(10000))
        m_server.kill();
    m_server.waitForFinished(5000);
}

QStringList BenchWorkspace::backends(const QString& choice)
{
    return choice == u"all"_s ? QStringList{u"sqlite"_s, u"postgresql"_s} : QStringList{choice};
}

bool BenchWorkspace::prepare(const QString& backend)
{
    if (backend != u"postgresql"_s)
        return true;
    QProcess cluster;
    cluster.start(QString::fromLatin1(PARVIX_PG_CLUSTER), {u"start"_s});
    if (!cluster.waitForFinished(120000) || cluster.exitCode() != 0) {
        std::printf("postgresql: the test cluster did not start\n");
        return false;
    }
    g_startedPostgreSQL = cluster.readAllStandardOutput().contains("test cluster on");
    return true;
}

void BenchWorkspace::stopPostgreSQL()
{
    if (g_startedPostgreSQL)
        QProcess::execute(QString::fromLatin1(PARVIX_PG_CLUSTER), {u"stop"_s});
}
