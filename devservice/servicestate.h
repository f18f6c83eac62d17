#pragma once

// The service's data: accounts, category trees, videos, upload
// registrations and WCS upload tokens. Thread-safe; every call takes the
// one lock, and results are copies.

#include "devservice/devservice.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QString>

#include <mutex>
#include <optional>

namespace devsvc {

struct Account
{
    QString id;            // the id used in API paths ({uid})
    QString email;
    QString password;
    QString secretKey;
    QString packageType;
    QString uploadType;
    int leftDay = 0;
    qint64 remainBytes = 0;
    int userLevel = 1;
    qint64 rootCataid = 1; // 1/0: whole library, other: top of a sub-tree
    QString parentUserId;  // non-empty for a child account
    QString state;         // "ok", "disabled", "expired", "live"
    QString note;

    QString libraryOwner() const { return parentUserId.isEmpty() ? id : parentUserId; }
};

struct Category
{
    qint64 id = 0;
    qint64 parentId = 0;
    QString name;
    QString owner;
};

struct Video
{
    QString vid;
    QString owner;
    qint64 cataid = 1;
    QString title; // stored escaped
    QString tag;
    QString describ;
    QString duration;
    QString times;
    QString playerwidth = QStringLiteral("600");
    QString playerheight = QStringLiteral("400");
    QString status;
    qint64 ptimeMs = 0;
    qint64 finishedMs = 0; // when the upload completed (status 10 -> 61)
    qint64 size = 0;
    QByteArray md5;
    QString coverFile; // local path of an uploaded cover image
};

// What the service learns about an upload before its bytes arrive
// (bookkeeping insert, the channel init).
struct PendingUpload
{
    QString vid;
    QString owner;
    QString accountId;
    QString title; // raw
    qint64 cataid = 1;
    qint64 fileSize = 0;
    QString fileName;
    bool inserted = false;
    qint64 insertedMs = 0; // when the bookkeeping insert came (service clock)
};

struct WcsTicket
{
    QString token;
    QString vid;
    QString owner;
    QString accountId;
    QString fileid;
    QString dateStr;
    QString fileName;
    QString title;
    qint64 cataid = 1;
    qint64 fileSize = 0;
    qint64 issuedMs = 0;
    bool valid = true;
};

struct VideoPage
{
    qint64 total = 0;
    QJsonArray data;
};

class ServiceState final
{
public:
    ServiceState() = default;

    OpResult loadSeed(const QByteArray &json, qint64 nowMs);
    QList<DemoAccount> demoAccounts() const;
    QString ossBucket() const;

    std::optional<Account> accountByEmail(const QString &email) const;
    std::optional<Account> accountById(const QString &id) const;
    qint64 remainSpace(const QString &accountId) const; // of the library owner
    void setRemainSpace(const QString &accountId, qint64 bytes);

    // Categories.
    QJsonObject categoryAnswerData(const Account &account) const;
    bool canUseCategory(const Account &account, qint64 cataid) const;
    qint64 addCategory(const Account &account, qint64 parentId, const QString &name);

    // Videos.
    VideoPage listVideos(const Account &account, qint64 cataid, bool withSub, const QString &keyword,
                         int pageNum, int perPage, qint64 nowMs, const QString &baseUrl);
    std::optional<Video> video(const QString &vid, qint64 nowMs);
    bool ownsVideo(const Account &account, const QString &vid) const;
    bool deleteVideo(const QString &vid);
    bool editVideo(const QString &vid, const QString &title, const QString &tag,
                   const QString &describ, qint64 nowMs);
    bool setCover(const QString &vid, const QString &file);
    void setVideoStatus(const QString &vid, const QString &status);
    QStringList videoIds(const QString &owner) const;
    void setEncodeDelay(int ms);

    // Bookkeeping and uploads.
    bool holdsVideo(const QString &vid) const;
    void noteUpload(const PendingUpload &upload); // merges into a known entry
    bool cancelUpload(const QString &vid);
    bool isUploadRegistered(const QString &vid) const;
    // Turns a pending upload into a video (status "10").
    OpResult completeUpload(const QString &vid, qint64 size, const QByteArray &md5, qint64 nowMs);

    // WCS tickets. Kept in `path` as well (owner-only), when set, so that
    // the upload tokens of running batches outlive a restart of the
    // service; loads the tickets the file holds.
    void keepTicketsIn(const QString &path);
    void addTicket(const WcsTicket &ticket);
    std::optional<WcsTicket> ticket(const QString &token) const;
    void expireTickets();
    QString fileidDate(const QString &fileid) const; // dateStr of a known fileid
    void noteFileid(const QString &fileid, const QString &dateStr);

    // Version list and installer.
    QByteArray versions() const;
    void setVersions(const QByteArray &json);
    QByteArray installer() const;
    void setInstaller(const QByteArray &bytes);

private:
    QString catatreeOf(qint64 id) const;
    bool isBelow(qint64 id, qint64 ancestor) const;
    void appendSubtree(QJsonArray &list, qint64 id, const QString &owner, int depth) const;
    QString statusOf(Video &v, qint64 nowMs) const;
    QJsonObject videoJson(Video &v, qint64 nowMs, const QString &baseUrl) const;
    void saveTicketsLocked() const;

    mutable std::mutex m_mutex;
    QMap<QString, Account> m_accounts; // by id
    QMap<qint64, Category> m_categories;
    QMap<QString, Video> m_videos;
    QMap<QString, PendingUpload> m_pending;
    QMap<QString, WcsTicket> m_tickets;
    QMap<QString, QString> m_fileids; // fileid -> dateStr
    QString m_ticketFile;
    qint64 m_nextCataid = 100;
    int m_encodeDelayMs = 3000;
    QString m_bucket = QStringLiteral("zavix-video");
    QByteArray m_versions;
    QByteArray m_installer;
};

} // namespace devsvc
