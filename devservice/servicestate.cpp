#include "devservice/servicestate.h"

#include "devservice/signcheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonValue>

#include <algorithm>
#include <cstdio>
#include <deque>

namespace devsvc {

namespace {

// Numbers may come as JSON numbers or as decimal texts.
qint64 asInt64(const QJsonValue &v, qint64 fallback = 0)
{
    if (v.isDouble())
        return qint64(v.toDouble());
    if (v.isString()) {
        bool ok = false;
        const qint64 n = v.toString().toLongLong(&ok);
        return ok ? n : fallback;
    }
    return fallback;
}

QString asText(const QJsonValue &v)
{
    if (v.isString())
        return v.toString();
    if (v.isDouble())
        return QString::number(qint64(v.toDouble()));
    return QString();
}

QByteArray defaultInstaller()
{
    // A recognisable file of a realistic size (1 MiB).
    QByteArray bytes(1 << 20, '\0');
    bytes.replace(0, 2, "MZ");
    for (int i = 2; i < bytes.size(); ++i)
        bytes[i] = char((i * 131) ^ (i >> 9));
    return bytes;
}

} // namespace

OpResult ServiceState::loadSeed(const QByteArray &json, qint64 nowMs)
{
    OpResult r;
    QJsonParseError err;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) {
        r.error = QStringLiteral("seed is not a JSON object: %1").arg(err.errorString());
        return r;
    }
    const QJsonObject root = doc.object();

    std::lock_guard<std::mutex> lock(m_mutex);
    for (const QJsonValue &v : root.value(QStringLiteral("accounts")).toArray()) {
        const QJsonObject o = v.toObject();
        Account a;
        a.id = asText(o.value(QStringLiteral("userId")));
        a.email = o.value(QStringLiteral("email")).toString();
        if (a.id.isEmpty() || a.email.isEmpty()) {
            r.error = QStringLiteral("an account needs userId and email");
            return r;
        }
        a.password = o.value(QStringLiteral("password")).toString();
        a.secretKey = o.value(QStringLiteral("secretKey")).toString();
        a.packageType = asText(o.value(QStringLiteral("packageType")));
        a.uploadType = asText(o.value(QStringLiteral("uploadType")));
        a.leftDay = int(asInt64(o.value(QStringLiteral("leftDay")), 30));
        a.remainBytes = asInt64(o.value(QStringLiteral("remainBytes")), 0);
        a.userLevel = int(asInt64(o.value(QStringLiteral("userLevel")), 1));
        a.rootCataid = asInt64(o.value(QStringLiteral("cataid")), 1);
        a.parentUserId = asText(o.value(QStringLiteral("parentUserId")));
        a.state = o.value(QStringLiteral("state")).toString(QStringLiteral("ok"));
        a.note = o.value(QStringLiteral("note")).toString();
        m_accounts.insert(a.id, a);
    }
    for (const QJsonValue &v : root.value(QStringLiteral("categories")).toArray()) {
        const QJsonObject o = v.toObject();
        Category c;
        c.id = asInt64(o.value(QStringLiteral("cataid")));
        c.parentId = asInt64(o.value(QStringLiteral("parentid")), 1);
        c.name = o.value(QStringLiteral("cataname")).toString();
        c.owner = asText(o.value(QStringLiteral("owner")));
        if (c.id <= 1) {
            r.error = QStringLiteral("category ids above 1 are required (1 is the default category)");
            return r;
        }
        m_categories.insert(c.id, c);
        m_nextCataid = std::max(m_nextCataid, c.id + 1);
    }
    int serial = 0;
    auto addVideo = [&](const QJsonObject &o, const QString &vidFallback) {
        Video vd;
        vd.vid = o.value(QStringLiteral("vid")).toString(vidFallback);
        vd.owner = asText(o.value(QStringLiteral("owner")));
        vd.cataid = asInt64(o.value(QStringLiteral("cataid")), 1);
        vd.title = o.value(QStringLiteral("title")).toString();
        vd.tag = o.value(QStringLiteral("tag")).toString();
        vd.describ = o.value(QStringLiteral("describ")).toString();
        vd.duration = o.value(QStringLiteral("duration")).toString(QStringLiteral("00:01:30"));
        vd.times = asText(o.value(QStringLiteral("times")));
        if (vd.times.isEmpty())
            vd.times = QStringLiteral("0");
        vd.status = asText(o.value(QStringLiteral("status")));
        if (vd.status.isEmpty())
            vd.status = QStringLiteral("61");
        // Seed times are given as minutes before now, so the data stays fresh.
        vd.ptimeMs = nowMs - asInt64(o.value(QStringLiteral("ageMinutes")), serial) * 60000;
        vd.size = asInt64(o.value(QStringLiteral("size")), 1048576);
        m_videos.insert(vd.vid, vd);
        ++serial;
    };
    for (const QJsonValue &v : root.value(QStringLiteral("videos")).toArray())
        addVideo(v.toObject(), QStringLiteral("seedvideo%1").arg(serial));
    // Bulk videos for paging: {"owner", "cataid", "count", "titlePrefix"}.
    for (const QJsonValue &v : root.value(QStringLiteral("generate")).toArray()) {
        const QJsonObject g = v.toObject();
        const int count = int(asInt64(g.value(QStringLiteral("count")), 0));
        const QString owner = asText(g.value(QStringLiteral("owner")));
        for (int i = 1; i <= count && i <= 100000; ++i) {
            QJsonObject o;
            o.insert(QStringLiteral("owner"), owner);
            o.insert(QStringLiteral("cataid"), g.value(QStringLiteral("cataid")));
            o.insert(QStringLiteral("title"),
                     QStringLiteral("%1 %2").arg(g.value(QStringLiteral("titlePrefix")).toString()).arg(i));
            o.insert(QStringLiteral("ageMinutes"), 60 + i);
            o.insert(QStringLiteral("times"), QString::number(i * 7));
            o.insert(QStringLiteral("status"), QStringLiteral("61"));
            addVideo(o, QStringLiteral("%1gen%2%3_%4").arg(owner).arg(asText(g.value(QStringLiteral("cataid"))))
                            .arg(i, 6, 10, QLatin1Char('0')).arg(owner.left(1)));
        }
    }
    const QJsonValue versions = root.value(QStringLiteral("versions"));
    if (versions.isArray())
        m_versions = QJsonDocument(versions.toArray()).toJson(QJsonDocument::Compact);
    const QJsonObject oss = root.value(QStringLiteral("oss")).toObject();
    if (oss.contains(QStringLiteral("bucket")))
        m_bucket = oss.value(QStringLiteral("bucket")).toString();
    r.ok = true;
    return r;
}

QList<DemoAccount> ServiceState::demoAccounts() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QList<DemoAccount> list;
    for (const Account &a : m_accounts)
        list.append(DemoAccount{a.email, a.password, a.id, a.note});
    return list;
}

QString ServiceState::ossBucket() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bucket;
}

std::optional<Account> ServiceState::accountByEmail(const QString &email) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const Account &a : m_accounts)
        if (a.email.compare(email, Qt::CaseInsensitive) == 0)
            return a;
    return std::nullopt;
}

std::optional<Account> ServiceState::accountById(const QString &id) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_accounts.constFind(id);
    if (it == m_accounts.constEnd())
        return std::nullopt;
    return *it;
}

qint64 ServiceState::remainSpace(const QString &accountId) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_accounts.constFind(accountId);
    if (it == m_accounts.constEnd())
        return 0;
    const auto owner = m_accounts.constFind(it->libraryOwner());
    return owner == m_accounts.constEnd() ? it->remainBytes : owner->remainBytes;
}

void ServiceState::setRemainSpace(const QString &accountId, qint64 bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_accounts.find(accountId);
    if (it == m_accounts.end())
        return;
    auto owner = m_accounts.find(it->libraryOwner());
    (owner == m_accounts.end() ? it : owner)->remainBytes = bytes;
}

QString ServiceState::catatreeOf(qint64 id) const
{
    QStringList ids;
    qint64 cur = id;
    for (int guard = 0; guard < 64 && cur > 1; ++guard) {
        ids.prepend(QString::number(cur));
        const auto it = m_categories.constFind(cur);
        if (it == m_categories.constEnd())
            break;
        cur = it->parentId;
    }
    ids.prepend(QStringLiteral("1"));
    return ids.join(QLatin1Char(','));
}

bool ServiceState::isBelow(qint64 id, qint64 ancestor) const
{
    qint64 cur = id;
    for (int guard = 0; guard < 64; ++guard) {
        if (cur == ancestor)
            return true;
        if (cur <= 1)
            return false;
        const auto it = m_categories.constFind(cur);
        if (it == m_categories.constEnd())
            return false;
        cur = it->parentId;
    }
    return false;
}

void ServiceState::appendSubtree(QJsonArray &list, qint64 id, const QString &owner, int depth) const
{
    if (depth > 60)
        return;
    for (const Category &c : m_categories) {
        if (c.parentId != id || c.owner != owner)
            continue;
        QJsonObject o;
        o.insert(QStringLiteral("cataid"), double(c.id));
        o.insert(QStringLiteral("parentid"), double(c.parentId));
        o.insert(QStringLiteral("cataname"), c.name);
        o.insert(QStringLiteral("catatree"), catatreeOf(c.id));
        list.append(o);
        appendSubtree(list, c.id, owner, depth + 1);
    }
}

QJsonObject ServiceState::categoryAnswerData(const Account &account) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QJsonObject data;
    data.insert(QStringLiteral("userLevel"), account.userLevel);
    data.insert(QStringLiteral("cataid"), double(account.rootCataid));
    QJsonArray list;
    const QString owner = account.libraryOwner();
    if (account.userLevel == 4 && account.rootCataid == 0) {
        // no category right at all
    } else if (account.rootCataid <= 1) {
        appendSubtree(list, 1, owner, 0); // depth-first, parents first
    } else {
        const auto top = m_categories.constFind(account.rootCataid);
        if (top != m_categories.constEnd()) {
            QJsonObject o;
            o.insert(QStringLiteral("cataid"), double(top->id));
            o.insert(QStringLiteral("parentid"), double(top->parentId));
            o.insert(QStringLiteral("cataname"), top->name);
            o.insert(QStringLiteral("catatree"), catatreeOf(top->id));
            list.append(o);
            appendSubtree(list, top->id, owner, 0);
        }
    }
    data.insert(QStringLiteral("cataList"), list);
    return data;
}

bool ServiceState::canUseCategory(const Account &account, qint64 cataid) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (account.userLevel == 4 && account.rootCataid == 0)
        return false;
    if (cataid != 1) {
        const auto it = m_categories.constFind(cataid);
        if (it == m_categories.constEnd() || it->owner != account.libraryOwner())
            return false;
    }
    if (account.rootCataid <= 1)
        return true;
    return isBelow(cataid, account.rootCataid);
}

qint64 ServiceState::addCategory(const Account &account, qint64 parentId, const QString &name)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Category c;
    c.id = m_nextCataid++;
    c.parentId = parentId;
    c.name = name;
    c.owner = account.libraryOwner();
    m_categories.insert(c.id, c);
    return c.id;
}

QString ServiceState::statusOf(Video &v, qint64 nowMs) const
{
    if (v.status == QLatin1String("10") && v.finishedMs > 0 && nowMs - v.finishedMs >= m_encodeDelayMs)
        v.status = QStringLiteral("61");
    return v.status;
}

QJsonObject ServiceState::videoJson(Video &v, qint64 nowMs, const QString &baseUrl) const
{
    QJsonObject o;
    o.insert(QStringLiteral("vid"), v.vid);
    o.insert(QStringLiteral("title"), v.title);
    o.insert(QStringLiteral("duration"), v.duration);
    o.insert(QStringLiteral("times"), v.times);
    o.insert(QStringLiteral("playerwidth"), v.playerwidth);
    o.insert(QStringLiteral("playerheight"), v.playerheight);
    o.insert(QStringLiteral("status"), statusOf(v, nowMs));
    o.insert(QStringLiteral("first_image"), baseUrl + QStringLiteral("/images/") + v.vid + QStringLiteral(".png"));
    o.insert(QStringLiteral("tag"), v.tag);
    o.insert(QStringLiteral("describ"), v.describ);
    o.insert(QStringLiteral("ptime"), QString::number(v.ptimeMs));
    o.insert(QStringLiteral("cataid"), QString::number(v.cataid));
    const auto c = m_categories.constFind(v.cataid);
    o.insert(QStringLiteral("cataname"),
             c == m_categories.constEnd() ? QStringLiteral("默认分类") : c->name);
    return o;
}

VideoPage ServiceState::listVideos(const Account &account, qint64 cataid, bool withSub,
                                   const QString &keyword, int pageNum, int perPage, qint64 nowMs,
                                   const QString &baseUrl)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const QString owner = account.libraryOwner();
    auto matches = [&](const Video &v) {
        if (v.owner != owner)
            return false;
        if (account.rootCataid > 1 && !isBelow(v.cataid, account.rootCataid))
            return false;
        const bool inCategory = withSub ? isBelow(v.cataid, cataid) : v.cataid == cataid;
        if (!inCategory)
            return false;
        return keyword.isEmpty() || v.title.contains(keyword, Qt::CaseInsensitive)
               || v.title.contains(escapeTitle(keyword), Qt::CaseInsensitive);
    };
    QList<Video *> hits;
    for (Video &v : m_videos)
        if (matches(v))
            hits.append(&v);
    // Uploads registered by the bookkeeping insert and not finished yet are
    // listed as uploading ("5") until the store completes them or the
    // client cancels them.
    std::deque<Video> uploading; // stable addresses for `hits`
    for (const PendingUpload &u : m_pending) {
        if (!u.inserted || m_videos.contains(u.vid))
            continue;
        Video v;
        v.vid = u.vid;
        v.owner = u.owner;
        v.cataid = u.cataid;
        v.title = escapeTitle(u.title);
        v.duration = QStringLiteral("00:00:00");
        v.times = QStringLiteral("0");
        v.status = QStringLiteral("5");
        v.ptimeMs = u.insertedMs;
        v.size = u.fileSize;
        if (!matches(v))
            continue;
        uploading.push_back(v);
        hits.append(&uploading.back());
    }
    // Newest first.
    std::stable_sort(hits.begin(), hits.end(), [](const Video *a, const Video *b) {
        return a->ptimeMs != b->ptimeMs ? a->ptimeMs > b->ptimeMs : a->vid < b->vid;
    });
    VideoPage page;
    page.total = hits.size();
    const qint64 first = qint64(pageNum - 1) * perPage;
    for (qint64 i = first; i < hits.size() && i < first + perPage; ++i)
        page.data.append(videoJson(*hits.at(int(i)), nowMs, baseUrl));
    return page;
}

std::optional<Video> ServiceState::video(const QString &vid, qint64 nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_videos.find(vid);
    if (it == m_videos.end())
        return std::nullopt;
    statusOf(*it, nowMs);
    return *it;
}

bool ServiceState::ownsVideo(const Account &account, const QString &vid) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_videos.constFind(vid);
    if (it == m_videos.constEnd() || it->owner != account.libraryOwner())
        return false;
    return account.rootCataid <= 1 || isBelow(it->cataid, account.rootCataid);
}

bool ServiceState::deleteVideo(const QString &vid)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_pending.remove(vid);
    return m_videos.remove(vid) > 0;
}

bool ServiceState::editVideo(const QString &vid, const QString &title, const QString &tag,
                             const QString &describ, qint64 nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_videos.find(vid);
    if (it == m_videos.end())
        return false;
    if (!title.isEmpty())
        it->title = escapeTitle(title);
    it->tag = tag;
    it->describ = describ;
    it->ptimeMs = nowMs;
    return true;
}

bool ServiceState::setCover(const QString &vid, const QString &file)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_videos.find(vid);
    if (it == m_videos.end())
        return false;
    it->coverFile = file;
    return true;
}

void ServiceState::setVideoStatus(const QString &vid, const QString &status)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_videos.find(vid);
    if (it != m_videos.end()) {
        it->status = status;
        it->finishedMs = 0;
    }
}

QStringList ServiceState::videoIds(const QString &owner) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    QStringList ids;
    for (const Video &v : m_videos)
        if (owner.isEmpty() || v.owner == owner)
            ids.append(v.vid);
    return ids;
}

void ServiceState::setEncodeDelay(int ms)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_encodeDelayMs = ms;
}

bool ServiceState::holdsVideo(const QString &vid) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_videos.contains(vid);
}

void ServiceState::noteUpload(const PendingUpload &upload)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_pending.find(upload.vid);
    if (it == m_pending.end()) {
        m_pending.insert(upload.vid, upload);
        return;
    }
    if (!upload.owner.isEmpty())
        it->owner = upload.owner;
    if (!upload.accountId.isEmpty())
        it->accountId = upload.accountId;
    if (!upload.title.isEmpty())
        it->title = upload.title;
    it->cataid = upload.cataid;
    if (upload.fileSize > 0)
        it->fileSize = upload.fileSize;
    if (!upload.fileName.isEmpty())
        it->fileName = upload.fileName;
    if (upload.inserted && !it->inserted)
        it->insertedMs = upload.insertedMs;
    it->inserted = it->inserted || upload.inserted;
}

bool ServiceState::cancelUpload(const QString &vid)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_pending.remove(vid) > 0;
}

bool ServiceState::isUploadRegistered(const QString &vid) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_pending.constFind(vid);
    return it != m_pending.constEnd() && it->inserted;
}

OpResult ServiceState::completeUpload(const QString &vid, qint64 size, const QByteArray &md5, qint64 nowMs)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    OpResult r;
    const auto it = m_pending.constFind(vid);
    if (it == m_pending.constEnd()) {
        // A repeated notice of a finished upload is answered as before.
        r.ok = m_videos.contains(vid);
        if (!r.ok)
            r.error = QStringLiteral("video is not registered");
        return r;
    }
    Video v;
    v.vid = vid;
    v.owner = it->owner;
    v.cataid = it->cataid;
    v.title = escapeTitle(it->title);
    v.duration = QStringLiteral("00:00:00");
    v.times = QStringLiteral("0");
    v.status = QStringLiteral("10");
    v.ptimeMs = nowMs;
    v.finishedMs = nowMs;
    v.size = size;
    v.md5 = md5;
    m_videos.insert(vid, v);
    auto owner = m_accounts.find(it->owner);
    if (owner != m_accounts.end())
        owner->remainBytes = std::max<qint64>(0, owner->remainBytes - size);
    m_pending.remove(vid);
    r.ok = true;
    return r;
}

namespace {

QJsonObject ticketJson(const WcsTicket &t)
{
    QJsonObject o;
    o.insert(QStringLiteral("token"), t.token);
    o.insert(QStringLiteral("vid"), t.vid);
    o.insert(QStringLiteral("owner"), t.owner);
    o.insert(QStringLiteral("accountId"), t.accountId);
    o.insert(QStringLiteral("fileid"), t.fileid);
    o.insert(QStringLiteral("dateStr"), t.dateStr);
    o.insert(QStringLiteral("fileName"), t.fileName);
    o.insert(QStringLiteral("title"), t.title);
    o.insert(QStringLiteral("cataid"), double(t.cataid));
    o.insert(QStringLiteral("fileSize"), double(t.fileSize));
    o.insert(QStringLiteral("issuedMs"), double(t.issuedMs));
    o.insert(QStringLiteral("valid"), t.valid);
    return o;
}

WcsTicket ticketFrom(const QJsonObject &o)
{
    WcsTicket t;
    t.token = o.value(QStringLiteral("token")).toString();
    t.vid = o.value(QStringLiteral("vid")).toString();
    t.owner = o.value(QStringLiteral("owner")).toString();
    t.accountId = o.value(QStringLiteral("accountId")).toString();
    t.fileid = o.value(QStringLiteral("fileid")).toString();
    t.dateStr = o.value(QStringLiteral("dateStr")).toString();
    t.fileName = o.value(QStringLiteral("fileName")).toString();
    t.title = o.value(QStringLiteral("title")).toString();
    t.cataid = asInt64(o.value(QStringLiteral("cataid")), 1);
    t.fileSize = asInt64(o.value(QStringLiteral("fileSize")));
    t.issuedMs = asInt64(o.value(QStringLiteral("issuedMs")));
    t.valid = o.value(QStringLiteral("valid")).toBool();
    return t;
}

} // namespace

void ServiceState::keepTicketsIn(const QString &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_ticketFile = path;
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly))
        return;
    const QJsonObject root = QJsonDocument::fromJson(in.readAll()).object();
    for (const QJsonValue &v : root.value(QStringLiteral("tickets")).toArray()) {
        const WcsTicket t = ticketFrom(v.toObject());
        if (!t.token.isEmpty())
            m_tickets.insert(t.token, t);
    }
    const QJsonObject fileids = root.value(QStringLiteral("fileids")).toObject();
    for (auto it = fileids.begin(); it != fileids.end(); ++it)
        m_fileids.insert(it.key(), it.value().toString());
}

// The tokens are secrets: the file is readable by its owner only, and is
// replaced whole (write, then rename).
void ServiceState::saveTicketsLocked() const
{
    if (m_ticketFile.isEmpty())
        return;
    QJsonArray tickets;
    for (const WcsTicket &t : m_tickets)
        tickets.append(ticketJson(t));
    QJsonObject fileids;
    for (auto it = m_fileids.constBegin(); it != m_fileids.constEnd(); ++it)
        fileids.insert(it.key(), it.value());
    QJsonObject root;
    root.insert(QStringLiteral("tickets"), tickets);
    root.insert(QStringLiteral("fileids"), fileids);
    const QByteArray bytes = QJsonDocument(root).toJson(QJsonDocument::Compact);
    QDir().mkpath(QFileInfo(m_ticketFile).absolutePath());
    const QString temp = m_ticketFile + QStringLiteral(".tmp");
    QFile out(temp);
    bool ok = out.open(QIODevice::WriteOnly | QIODevice::Truncate)
              && out.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) && out.write(bytes) == bytes.size();
    out.close();
    ok = ok && std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(m_ticketFile).constData()) == 0;
    if (!ok)
        QFile::remove(temp);
}

void ServiceState::addTicket(const WcsTicket &ticket)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tickets.insert(ticket.token, ticket);
    saveTicketsLocked();
}

std::optional<WcsTicket> ServiceState::ticket(const QString &token) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_tickets.constFind(token);
    if (it == m_tickets.constEnd())
        return std::nullopt;
    return *it;
}

void ServiceState::expireTickets()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (WcsTicket &t : m_tickets)
        t.valid = false;
    saveTicketsLocked();
}

QString ServiceState::fileidDate(const QString &fileid) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_fileids.value(fileid);
}

void ServiceState::noteFileid(const QString &fileid, const QString &dateStr)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_fileids.insert(fileid, dateStr);
    saveTicketsLocked();
}

QByteArray ServiceState::versions() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_versions.isEmpty())
        return QByteArrayLiteral(R"([{"version":"V4.1.2.20171128","description":"当前已是最新版本"}])");
    return m_versions;
}

void ServiceState::setVersions(const QByteArray &json)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_versions = json;
}

QByteArray ServiceState::installer() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_installer.isNull() ? defaultInstaller() : m_installer;
}

void ServiceState::setInstaller(const QByteArray &bytes)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_installer = bytes;
}

} // namespace devsvc
