// Prints figures of the web-service helpers: signing and value encoding
// throughput, loopback round trips of the JSON GET, the cost of an answer
// near the in-memory cap, and how long a silent transfer takes to end once
// the closing flag is set.

#include "net/api.h"
#include "net/closingflag.h"
#include "net/transfer.h"
#include "tests/net/testserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <future>

namespace {

template <class F>
double perSecond(int rounds, F &&f)
{
    QElapsedTimer t;
    t.start();
    for (int i = 0; i < rounds; ++i)
        f(i);
    const qint64 ns = t.nsecsElapsed();
    return ns > 0 ? rounds * 1e9 / double(ns) : 0.0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    volatile int sink = 0;

    const QString secret = QStringLiteral("sk-bench-0123456789");
    const double signs = perSecond(200000, [&](int i) {
        const QString text = sortedSignText({{"vid", "v" + QString::number(i)},
                                             {"ptime", QString::number(1511856000000LL + i)},
                                             {"cataid", "1"}},
                                            secret);
        sink += signParams(text).size();
    });
    std::printf("sign (rule 1, 3 pairs): %.0f per second\n", signs);

    const QString title = QStringLiteral("一个 很长的 视频标题 with ASCII words 2017-11-28 ~ 100%");
    const double encodes = perSecond(200000, [&](int) { sink += urlEncode(title).size(); });
    std::printf("urlEncode (%d UTF-8 bytes): %.0f per second\n", title.toUtf8().size(), encodes);

    TestServer server;
    const QByteArray url = server.url("/status/200");
    const double gets = perSecond(500, [&](int) { sink += int(jsonGet(url).ok); });
    std::printf("JSON GET on loopback (new handle each): %.0f per second\n", gets);

    QElapsedTimer t;
    t.start();
    const TransferResult big = jsonGet(server.url("/big"));
    std::printf("answer beyond the %zu MiB cap: refused after %lld ms (tooLarge=%d)\n",
                kMaxAnswerBytes >> 20, t.elapsed(), int(big.tooLarge));

    const QByteArray silent = server.url("/stall-headers");
    auto pending = std::async(std::launch::async, [silent] { return jsonGet(silent); });
    server.waitForStalled(1, 5000);
    t.restart();
    setClosing();
    pending.wait();
    std::printf("silent server: transfer ended %lld ms after the closing flag\n", t.elapsed());
    return sink == -1 ? 1 : 0;
}
