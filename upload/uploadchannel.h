#pragma once

#include "upload/uploadtask.h"

#include <QList>
#include <QThread>

#include <functional>
#include <memory>

// The side of the storage channels that the row controller (UploadWidget)
// drives. The channel threads derive from these bases (and inherit their
// signals: a derived class must not declare Result or Progress again); the
// controller only knows the bases and gets its threads from the factory.
//
// Result codes reported with Result(status, code):
//   true,4  the service already holds the file      true,0  upload complete
//   false,1 not enough space   false,2 file cannot be opened/read
//   false,3 time stamp rejected   false,5 space warning (upload goes on)
//   false,6 stopped by pause   false,10 transfer failed   false,11 re-queued
//   false,0 other failure
// The WCS token thread reports true,2 (initialised) or true,5 (initialised,
// space warning) when the block transfer is to follow.

// OSS: one thread per start, working on its own copy of the task record.
class OssChannelThread : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY(OssChannelThread)

public:
    explicit OssChannelThread(QObject *parent = nullptr) : QThread(parent) {}

    // Called on the GUI thread while run() may be running: end the transfer
    // soon, reporting 11 when requeue is true and 6 otherwise.
    virtual void abort(bool requeue) = 0;

signals:
    void Result(bool status, int code);
    void Progress(int increment, qlonglong transferred, qlonglong total);
};

// WCS token request: one thread per start, writing fileid, dateStr, the upload
// token, the upload host and everUploaded into the row's own record (on the
// GUI thread, just before Result arrives there). The controller reads those
// only after Result has arrived.
class TokenChannelThread : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY(TokenChannelThread)

public:
    explicit TokenChannelThread(QObject *parent = nullptr) : QThread(parent) {}

    // Called on the GUI thread when the row no longer wants this start (the
    // row pauses, starts again or goes away): the running request ends
    // soon, nothing more is written into the record and the Result that
    // may still come does not count.
    virtual void abandon() = 0;

signals:
    void Result(bool ok, int code);
};

// One thread of the WCS block transfer. The transfer as a whole reports one
// final Result (true,0 / false,2 / false,10 / false,6 / false,11) from one of
// its threads; Progress carries the bytes sent since the last report.
class BlockChannelThread : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY(BlockChannelThread)

public:
    explicit BlockChannelThread(QObject *parent = nullptr) : QThread(parent) {}

    // Pause (true) or resume (false) the transfer without ending it.
    virtual void setPaused(bool paused) = 0;
    // End the transfer at the next block; reports 11 when requeue, else 6.
    virtual void stopTransfer(bool requeue) = 0;

signals:
    void Result(bool status, int code);
    void Progress(qlonglong increment);
    // A block is stored: the controller enters it in the block map (status 2).
    void BlockStored(qlonglong index, const QString &ctx);
};

// Makes the channel threads. The program installs the real channels; tests
// install stand-ins.
class UploadChannelFactory
{
public:
    virtual ~UploadChannelFactory() = default;

    // A new OSS thread on a copy of the task (not started).
    virtual OssChannelThread *createOssThread(const UploadTask &task) = 0;
    // A new WCS token thread on the task itself (not started).
    virtual TokenChannelThread *createTokenThread(UploadTask *task) = 0;
    // The threads of a WCS block transfer after a successful token request
    // (not started). May be empty when the channel has no block transfer.
    virtual QList<BlockChannelThread *> createBlockThreads(UploadTask *task) = 0;
};

// The makers of the program's own channels. Each channel fills its member in
// installProgramChannels() (upload/uploadchannels.cpp); an empty member
// makes no thread (the row then starts no transfer).
struct UploadChannelMakers
{
    std::function<OssChannelThread *(const UploadTask &)> oss;
    std::function<TokenChannelThread *(UploadTask *)> token;
    std::function<QList<BlockChannelThread *>(UploadTask *)> blocks;
};
UploadChannelMakers &programChannelMakers();

// Fills programChannelMakers() with the real channels. Called once when the
// upload page is made for the main window.
void installProgramChannels();

// The factory in use: the installed one (tests install stand-ins), otherwise
// one that uses programChannelMakers().
UploadChannelFactory *uploadChannelFactory();
// Installs a factory; null goes back to the program's channels.
void setUploadChannelFactory(std::unique_ptr<UploadChannelFactory> factory);
