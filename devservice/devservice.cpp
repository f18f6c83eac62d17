#include "devservice/devservice.h"

#include "devservice/servicecore.h"
#include "devservice/wcs/wcsstore.h"

#include <QFile>

#include <chrono>
#include <thread>

namespace devsvc {

DevService::DevService() : DevService(Options()) {}

DevService::DevService(const Options &options) : m_core(std::make_unique<ServiceCore>(options)) {}

DevService::~DevService()
{
    stop();
}

bool DevService::start(quint16 port)
{
    return m_core->start(port);
}

void DevService::stop()
{
    m_core->stop();
}

bool DevService::isRunning() const
{
    return m_core->isRunning();
}

quint16 DevService::port() const
{
    return m_core->port();
}

QString DevService::baseUrl() const
{
    return m_core->baseUrl();
}

QString DevService::errorString() const
{
    return m_core->errorString();
}

QString DevService::demoSeedPath()
{
    return QStringLiteral(DEVSERVICE_SOURCE_DIR "/seed/demo.json");
}

OpResult DevService::seedFromFile(const QString &path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return OpResult{false, QStringLiteral("cannot read %1").arg(path)};
    return seed(f.readAll());
}

OpResult DevService::seed(const QByteArray &json)
{
    return m_core->state().loadSeed(json, m_core->nowMs());
}

QList<DemoAccount> DevService::demoAccounts() const
{
    return m_core->state().demoAccounts();
}

void DevService::setRemainSpace(const QString &userId, qint64 bytes)
{
    m_core->state().setRemainSpace(userId, bytes);
}

qint64 DevService::remainSpace(const QString &userId) const
{
    return m_core->state().remainSpace(userId);
}

VideoState DevService::video(const QString &vid) const
{
    VideoState s;
    const auto v = m_core->state().video(vid, m_core->nowMs());
    if (!v)
        return s;
    s.exists = true;
    s.vid = v->vid;
    s.ownerUserId = v->owner;
    s.cataid = QString::number(v->cataid);
    s.title = v->title;
    s.tag = v->tag;
    s.describ = v->describ;
    s.status = v->status;
    s.size = v->size;
    s.md5 = v->md5;
    return s;
}

QStringList DevService::videoIds(const QString &userId) const
{
    return m_core->state().videoIds(userId);
}

bool DevService::isUploadRegistered(const QString &vid) const
{
    return m_core->state().isUploadRegistered(vid);
}

void DevService::setVideoStatus(const QString &vid, const QString &status)
{
    m_core->state().setVideoStatus(vid, status);
}

void DevService::setVersions(const QByteArray &jsonArray)
{
    m_core->state().setVersions(jsonArray);
}

void DevService::setInstaller(const QByteArray &bytes)
{
    m_core->state().setInstaller(bytes);
}

void DevService::expireWcsTokens()
{
    m_core->state().expireTickets();
}

QStringList DevService::handedOutSecrets() const
{
    return m_core->handedOutSecrets();
}

void DevService::answerNext(const QString &pathPattern, int status, const QByteArray &body, int count,
                            const QString &method)
{
    m_core->faults().add(FaultTable::Kind::Answer, pathPattern, method, count, status, body, 0);
}

void DevService::resetAfterBytes(const QString &pathPattern, qint64 bytes, int count, const QString &method)
{
    m_core->faults().add(FaultTable::Kind::ResetAfter, pathPattern, method, count, 0, QByteArray(), bytes);
    // Part bodies of the OSS store are read by the store itself.
    if (OssHook *oss = m_core->ossHook())
        if (pathPattern.startsWith(QLatin1Char('/') + ossBucketOf(*oss)))
            ossResetNextParts(*oss, count, bytes);
}

void DevService::delayNext(const QString &pathPattern, int msecs, int count, const QString &method)
{
    m_core->faults().add(FaultTable::Kind::Delay, pathPattern, method, count, 0, QByteArray(), msecs);
}

void DevService::stallNext(const QString &pathPattern, int count, const QString &method)
{
    m_core->faults().add(FaultTable::Kind::Stall, pathPattern, method, count, 0, QByteArray(), 0);
}

void DevService::releaseStalls()
{
    m_core->faults().releaseStalls();
}

int DevService::stalledCount() const
{
    return m_core->faults().stalledCount();
}

void DevService::setBandwidthLimit(qint64 bytesPerSecond)
{
    m_core->faults().setBandwidth(bytesPerSecond);
    if (OssHook *oss = m_core->ossHook())
        ossSetReadRate(*oss, bytesPerSecond);
}

void DevService::setClockOffsetMs(qint64 offsetMs)
{
    m_core->setClockOffsetMs(offsetMs);
}

qint64 DevService::nowMs() const
{
    return m_core->nowMs();
}

void DevService::clearFaults()
{
    m_core->faults().clear();
    if (OssHook *oss = m_core->ossHook())
        ossClearFaults(*oss);
}

QList<RequestLogEntry> DevService::requestLog() const
{
    return m_core->log().all();
}

QList<RequestLogEntry> DevService::requests(const QString &pathPattern) const
{
    return m_core->log().matching(pathPattern);
}

bool DevService::waitForRequest(const QString &pathPattern, int timeoutMs)
{
    return m_core->log().waitFor(pathPattern, timeoutMs);
}

void DevService::clearRequestLog()
{
    m_core->log().clear();
}

ServiceCore &DevService::core()
{
    return *m_core;
}

} // namespace devsvc
