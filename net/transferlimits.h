#pragma once

// The time limits of the program's transfers, in one place. Every transfer
// gives up when fewer than lowSpeedBytes per second moved for
// lowSpeedSeconds, in either direction (a peer that went silent before or in
// the middle of a body): the transfer then fails as a network error, which
// its caller retries or reports. A few exchanges also have a limit in all.
struct TransferLimits
{
    long lowSpeedBytes = 1;
    long lowSpeedSeconds = 60;
    long versionCheckMs = 10000;    // the update check's version list, connect included
    long loginMs = 30000;           // the login request, and the category request after it
    long speedTestRequestMs = 15000; // the speed test's credential request (and its test file)
    long addCategoryMs = 30000;     // the add-category request
};

// The limits in force (any thread).
TransferLimits transferLimits();

// Tests only: shorter limits for this process, and back to the program's own.
void setTransferLimitsForTest(const TransferLimits &limits);
void resetTransferLimitsForTest();
