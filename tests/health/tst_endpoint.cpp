#include "health/httpendpoint.h"
#include "support/httpclient.h"

#include <QTcpSocket>
#include <QtTest>

#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

constexpr int Deadline = 400;

} // namespace

class TestEndpoint : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_endpoint = std::make_unique<HttpEndpoint>(
            [](const QByteArray& path) -> HttpEndpoint::Response {
                if (path == "/health")
                    return {503, "application/json", "{}"};
                return {path == "/metrics" ? 200 : 404, "text/plain", "figures\n"};
            },
            Deadline);
        QString error;
        QVERIFY2(m_endpoint->listen(QHostAddress::LocalHost, 0, error), qPrintable(error));
    }

    void requestIsAnswered_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QByteArray>("status"); // the status line
        QTest::addColumn<QByteArray>("body");   // what follows the head
        QTest::newRow("metrics") << QByteArray("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n")
                                 << QByteArray("HTTP/1.1 200 OK") << QByteArray("figures\n");
        QTest::newRow("health, with a query, version 1.0")
            << QByteArray("GET /health?full=1 HTTP/1.0\r\n\r\n")
            << QByteArray("HTTP/1.1 503 Service Unavailable") << QByteArray("{}");
        QTest::newRow("bare line ends") << QByteArray("GET /metrics HTTP/1.1\n\n")
                                        << QByteArray("HTTP/1.1 200 OK") << QByteArray("figures\n");
        QTest::newRow("head: no body") << QByteArray("HEAD /metrics HTTP/1.1\r\n\r\n")
                                       << QByteArray("HTTP/1.1 200 OK") << QByteArray();
        QTest::newRow("no such route")
            << QByteArray("GET /admin HTTP/1.1\r\n\r\n") << QByteArray("HTTP/1.1 404 Not Found")
            << QByteArray("Not Found\n");
        QTest::newRow("other method")
            << QByteArray("POST /metrics HTTP/1.1\r\n\r\nbody")
            << QByteArray("HTTP/1.1 405 Method Not Allowed") << QByteArray("Method Not Allowed\n");
        QTest::newRow("garbage method")
            << QByteArray("g\x01t /metrics HTTP/1.1\r\n\r\n")
            << QByteArray("HTTP/1.1 400 Bad Request") << QByteArray("Bad Request\n");
        QTest::newRow("no version")
            << QByteArray("GET /metrics\r\n\r\n") << QByteArray("HTTP/1.1 400 Bad Request")
            << QByteArray("Bad Request\n");
        QTest::newRow("not http") << QByteArray("\x16\x03\x01\x02\x05\r\n\r\n")
                                  << QByteArray("HTTP/1.1 400 Bad Request")
                                  << QByteArray("Bad Request\n");
        QTest::newRow("1 MB of header")
            << QByteArray("GET /metrics HTTP/1.1\r\nX: ") + QByteArray(1 << 20, 'x')
            << QByteArray("HTTP/1.1 431 Request Header Fields Too Large")
            << QByteArray("Request Header Fields Too Large\n");
    }

    void requestIsAnswered()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, status);
        QFETCH(QByteArray, body);
        const QByteArray answer = httpExchange(m_endpoint->port(), request);
        const qsizetype end = answer.indexOf("\r\n\r\n");
        QVERIFY2(end > 0, answer.left(200).constData());
        QCOMPARE(answer.left(answer.indexOf("\r\n")), status);
        QCOMPARE(answer.mid(end + 4), body);
        const QByteArray head = answer.left(end);
        QVERIFY(head.contains("\r\nConnection: close"));
        QCOMPARE(head.contains("\r\nAllow: GET, HEAD"), status.contains("405"));
        if (!status.contains("431"))
            QVERIFY(
                head.contains("\r\nContent-Length: " +
                              QByteArray::number(request.startsWith("HEAD") ? 8 : body.size())));
    }

    // A byte now and then, and idle connections past the limit: each is let
    // go by its deadline, or at once, and the endpoint answers again.
    void slowAndIdleClientsAreLetGo()
    {
        QElapsedTimer since;
        since.start();
        QTcpSocket slow;
        slow.connectToHost(QHostAddress::LocalHost, m_endpoint->port());
        QVERIFY(slow.waitForConnected(2000));
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < HttpEndpoint::MaxConnections + 10; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, m_endpoint->port());
        }
        for (char c : QByteArray("GET /metrics HTTP/1.1\r\n\r\n")) {
            if (slow.state() != QAbstractSocket::ConnectedState)
                break;
            slow.write(&c, 1);
            slow.flush();
            QTest::qWait(50);
            QVERIFY(m_endpoint->connections() <= HttpEndpoint::MaxConnections);
        }
        QTRY_COMPARE(m_endpoint->connections(), 0);
        QVERIFY(since.elapsed() >= Deadline);
        QCOMPARE(slow.readAll(), QByteArray());
        QVERIFY(httpExchange(m_endpoint->port(), "GET /metrics HTTP/1.1\r\n\r\n")
                    .endsWith("figures\n"));
    }

    void addressInUseIsTold()
    {
        HttpEndpoint second([](const QByteArray&) { return HttpEndpoint::Response(); });
        QString error;
        QVERIFY(!second.listen(QHostAddress::LocalHost, m_endpoint->port(), error));
        QVERIFY(!error.isEmpty());
    }

private:
    std::unique_ptr<HttpEndpoint> m_endpoint;
};

QTEST_GUILESS_MAIN(TestEndpoint)
#include "tst_endpoint.moc"
