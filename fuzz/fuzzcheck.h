#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

// What every fuzz target shares: the input as a byte array, a property check
// that ends the run with a message, and a quiet Qt message handler (the
// parsers log what they reject; printing it would only slow the fuzzer).

#define FUZZ_CHECK(condition)                                                                                \
    do {                                                                                                     \
        if (!(condition)) {                                                                                  \
            std::fprintf(stderr, "property does not hold: %s (%s:%d)\n", #condition, __FILE__, __LINE__);    \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (false)

namespace fuzz {

inline QByteArray bytes(const uint8_t *data, size_t size)
{
    return QByteArray(reinterpret_cast<const char *>(data), int(qMin<size_t>(size, 1 << 24)));
}

inline void quietQt()
{
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
}

} // namespace fuzz

// Targets define this; it runs once before the first input.
#define FUZZ_INIT()                                                                                          \
    extern "C" int LLVMFuzzerInitialize(int *, char ***)                                                     \
    {                                                                                                        \
        fuzz::quietQt();                                                                                     \
        return 0;                                                                                            \
    }
