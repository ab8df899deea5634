#include "core/Fingerprint.h"

#include <openssl/evp.h>

#include <cerrno>
#include <new>
#include <unistd.h>
#include <vector>

namespace fetchora {

namespace {

// Fetched once: the implicit fetch behind EVP_sha256() would look the
// algorithm up again at every start of a digest.
const EVP_MD *sha256Method()
{
    static EVP_MD *const md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return md ? md : EVP_sha256();
}

}  // namespace

Sha256::Sha256() : m_ctx(EVP_MD_CTX_new())
{
    if (!m_ctx || EVP_DigestInit_ex(m_ctx, sha256Method(), nullptr) != 1)
        throw std::bad_alloc();
}

Sha256::~Sha256()
{
    EVP_MD_CTX_free(m_ctx);
}

void Sha256::add(const void *data, size_t size)
{
    if (size)
        EVP_DigestUpdate(m_ctx, data, size);
}

QByteArray Sha256::hex()
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_ctx, digest, &length);
    EVP_DigestInit_ex(m_ctx, sha256Method(), nullptr);
    return QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex();
}

QByteArray sha256Hex(QByteArrayView data)
{
    Sha256 hash;
    hash.add(data);
    return hash.hex();
}

QByteArray sha256OfDescriptor(int fd)
{
    Sha256 hash;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {};
        if (n == 0)
            return hash.hex();
        hash.add(buffer.data(), size_t(n));
    }
}

}  // namespace fetchora
