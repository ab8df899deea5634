#pragma once
// The one SHA-256 of the program: the fingerprint of a download, of a stored
// copy and of a copy retention is about to remove. Built on OpenSSL's EVP
// interface, which uses the processor's SHA instructions where it has them
// (about ten times the speed of a portable implementation), so hashing a
// body costs little beside receiving it.
//
// Fingerprints are lower-case hex text, 64 characters.

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>

struct evp_md_ctx_st;

namespace fetchora {

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256 &) = delete;
    Sha256 &operator=(const Sha256 &) = delete;

    void add(const void *data, size_t size);
    void add(QByteArrayView data) { add(data.data(), size_t(data.size())); }
    // The fingerprint of everything added; the object starts afresh after it.
    QByteArray hex();

private:
    evp_md_ctx_st *m_ctx;
};

QByteArray sha256Hex(QByteArrayView data);

// The fingerprint of what an open file holds from its current offset to its
// end; empty when reading fails.
QByteArray sha256OfDescriptor(int fd);

}  // namespace fetchora
