#pragma once

#include <QByteArray>

// Whether a download's whole content was checked against the digest its
// serving peer announced. The digest is what that peer says the file is.
struct Verification
{
    enum class Status {
        NotOffered,     // the serving peer does not offer digests
        Awaiting,       // asked; no answer came before the ask expired
        NotHashed,      // the serving peer has not hashed the file yet
        Expected,       // known, to be checked when the last byte arrives
        Verified,       // every byte matches it
        Mismatched,     // the content differs from it
        PartUnreadable, // the parked part taken over could not be hashed
    };

    Status status = Status::NotOffered;
    QByteArray digest; // 32 bytes once the serving peer told it
};
