// historyInfo.json: the finished uploads of the history page.
#include "fuzz/fuzzcheck.h"
#include "prefs/historyrecord.h"
#include "upload/userdatafile.h"

#include <QJsonArray>

namespace {

bool sameEntries(const QList<HistoryEntry> &a, const QList<HistoryEntry> &b)
{
    if (a.size() != b.size())
        return false;
    for (int i = 0; i < a.size(); ++i) {
        const HistoryEntry &x = a.at(i);
        const HistoryEntry &y = b.at(i);
        if (x.path != y.path || x.filename != y.filename || x.fileSize != y.fileSize
            || x.finishTime != y.finishTime || x.status != y.status || x.vid != y.vid || x.cataid != y.cataid
            || x.cataname != y.cataname)
            return false;
    }
    return true;
}

void checkFile(const QByteArray &content)
{
    const userdata::ReadResult read = userdata::decode(content);
    if (!read.ok)
        return;
    const history::LoadResult loaded = history::fromDocument(read.document);
    FUZZ_CHECK(loaded.ok == read.document.isArray());
    if (!loaded.ok)
        return;
    FUZZ_CHECK(loaded.entries.size() == read.document.array().size());
    // The entries the page shows are saved and loaded back unchanged.
    const userdata::ReadResult reread =
        userdata::decode(userdata::encode(history::toDocument(loaded.entries)));
    FUZZ_CHECK(reread.ok);
    const history::LoadResult again = history::fromDocument(reread.document);
    FUZZ_CHECK(again.ok);
    FUZZ_CHECK(sameEntries(again.entries, loaded.entries));
}

} // namespace

FUZZ_INIT()

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input = fuzz::bytes(data, size);
    checkFile(input);
    checkFile(input.toBase64());
    return 0;
}
