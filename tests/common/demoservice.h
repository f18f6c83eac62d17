#pragma once

// The local service for tests that run the client against it: seeded with
// the demo accounts, started on a free port, and the client pointed at it
// through ZAVIX_SERVICE_URL.
//
//     void initTestCase() { startDemoService(m_service); }
//     void cleanupTestCase() { m_service.stop(); }

#include "devservice/devservice.h"

#include <QtTest>

// Records a failed check (and returns at once) when the seed or the start
// fails; a failure in initTestCase skips the rest of the test.
inline void startDemoService(devsvc::DevService &service)
{
    QVERIFY(service.seedFromFile(devsvc::DevService::demoSeedPath()).ok);
    QVERIFY2(service.start(), qPrintable(service.errorString()));
    qputenv("ZAVIX_SERVICE_URL", service.baseUrl().toUtf8());
}
