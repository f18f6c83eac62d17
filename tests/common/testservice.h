#pragma once

// The local service for suites that reach it only the way the program does:
// through its routes, plus a look into its store. Where the build has the
// emulator (ZAVIX_TEST_SERVICE_IN_PROCESS, see zavix_add_test's SERVICE) it
// runs inside the test with the demo accounts; elsewhere (the Windows build,
// run under wine) the test runner has started it natively and names it in
// ZAVIX_TEST_SERVICE_URL, with its data folder in ZAVIX_TEST_SERVICE_DATA.
// Either way the client is pointed at it through ZAVIX_SERVICE_URL.
//
//     void initTestCase() { QVERIFY2(m_service.start(), qPrintable(m_service.errorString())); }

#ifdef ZAVIX_TEST_SERVICE_IN_PROCESS
#include "devservice/devservice.h"
#endif

#include <QCryptographicHash>
#include <QDirIterator>
#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

#include <memory>

class TestService final
{
public:
    TestService() = default;
    ~TestService() { stop(); }

    bool start()
    {
#ifdef ZAVIX_TEST_SERVICE_IN_PROCESS
        devsvc::DevService::Options options;
        options.dataDir = m_data.path();
        m_service = std::make_unique<devsvc::DevService>(options);
        const devsvc::OpResult seeded = m_service->seedFromFile(devsvc::DevService::demoSeedPath());
        if (!seeded.ok) {
            m_error = seeded.error;
            return false;
        }
        if (!m_service->start()) {
            m_error = m_service->errorString();
            return false;
        }
        m_baseUrl = m_service->baseUrl();
        m_dataFolder = m_data.path();
#else
        m_baseUrl = qEnvironmentVariable("ZAVIX_TEST_SERVICE_URL");
        m_dataFolder = qEnvironmentVariable("ZAVIX_TEST_SERVICE_DATA");
        if (m_baseUrl.isEmpty() || m_dataFolder.isEmpty()) {
            m_error = QStringLiteral("this build has no service emulator: start one and name it in "
                                     "ZAVIX_TEST_SERVICE_URL and ZAVIX_TEST_SERVICE_DATA");
            return false;
        }
#endif
        qputenv("ZAVIX_SERVICE_URL", m_baseUrl.toUtf8());
        return true;
    }

    void stop()
    {
#ifdef ZAVIX_TEST_SERVICE_IN_PROCESS
        if (m_service)
            m_service->stop();
#endif
    }

    QString baseUrl() const { return m_baseUrl; }
    QString errorString() const { return m_error; }

    // True when a finished object of the OSS or WCS store (a file below an
    // "objects" or "wcs-objects" folder of the service's data; parts and
    // blocks on the way are elsewhere) has exactly these bytes.
    bool storeHolds(const QByteArray &bytes) const
    {
        const QByteArray wanted = QCryptographicHash::hash(bytes, QCryptographicHash::Md5);
        QDirIterator it(m_dataFolder, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!path.contains(QLatin1String("/objects/")) && !path.contains(QLatin1String("/wcs-objects/")))
                continue;
            QFile file(path);
            if (file.size() != bytes.size() || !file.open(QIODevice::ReadOnly))
                continue;
            QCryptographicHash md5(QCryptographicHash::Md5);
            md5.addData(&file);
            if (md5.result() == wanted)
                return true;
        }
        return false;
    }

private:
    Q_DISABLE_COPY(TestService)
#ifdef ZAVIX_TEST_SERVICE_IN_PROCESS
    QTemporaryDir m_data;
    std::unique_ptr<devsvc::DevService> m_service;
#endif
    QString m_baseUrl;
    QString m_dataFolder;
    QString m_error;
};
