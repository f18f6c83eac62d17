// devservice --port P --data DIR [--seed FILE] [--digest-only] [--encode-delay MS]
//
// Runs the local service on 127.0.0.1:P until SIGINT or SIGTERM. When it is
// ready it prints the line "ZAVIX_SERVICE_URL=http://127.0.0.1:P" and the
// demo accounts.

#include "devservice/devservice.h"

#include <QString>
#include <QStringList>

#include <csignal>
#include <cstdio>

#include <pthread.h>

namespace {

void usage()
{
    std::fprintf(stderr,
                 "usage: devservice --port P --data DIR [--seed FILE] [--digest-only] [--encode-delay MS]\n");
}

} // namespace

int main(int argc, char **argv)
{
    devsvc::DevService::Options options;
    int port = -1;
    QString seedPath = devsvc::DevService::demoSeedPath();
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const bool hasValue = i + 1 < argc;
        if (arg == QLatin1String("--port") && hasValue) {
            bool ok = false;
            port = QString::fromLocal8Bit(argv[++i]).toInt(&ok);
            if (!ok || port < 0 || port > 65535) {
                usage();
                return 2;
            }
        } else if (arg == QLatin1String("--data") && hasValue) {
            options.dataDir = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QLatin1String("--seed") && hasValue) {
            seedPath = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == QLatin1String("--digest-only")) {
            // Throughput mode: bodies are kept as digests, the log keeps sizes.
            options.digestOnly = true;
            options.logBodyDigest = false;
        } else if (arg == QLatin1String("--encode-delay") && hasValue) {
            options.encodeDelayMs = QString::fromLocal8Bit(argv[++i]).toInt();
        } else {
            usage();
            return 2;
        }
    }
    if (port < 0 || options.dataDir.isEmpty()) {
        usage();
        return 2;
    }

    // Signals are taken by sigwait below; the server threads must not see them.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    devsvc::DevService service(options);
    const devsvc::OpResult seeded = service.seedFromFile(seedPath);
    if (!seeded.ok) {
        std::fprintf(stderr, "devservice: %s\n", qPrintable(seeded.error));
        return 1;
    }
    if (!service.start(quint16(port))) {
        std::fprintf(stderr, "devservice: %s\n", qPrintable(service.errorString()));
        return 1;
    }
    std::printf("ZAVIX_SERVICE_URL=%s\n", qPrintable(service.baseUrl()));
    std::printf("demo accounts (e-mail / password):\n");
    for (const devsvc::DemoAccount &a : service.demoAccounts())
        std::printf("  %-28s %-12s %s\n", qPrintable(a.email), qPrintable(a.password), a.note.toUtf8().constData());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    service.stop();
    return 0;
}
