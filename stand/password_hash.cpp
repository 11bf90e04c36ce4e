#include "stand/password_hash.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

namespace stand {
namespace {

constexpr int kHashBytes = 32;

std::string Derive(const std::string &password, const std::string &salt, int iterations) {
    std::string out(kHashBytes, '\0');
    PKCS5_PBKDF2_HMAC(password.data(), int(password.size()), reinterpret_cast<const unsigned char *>(salt.data()),
                      int(salt.size()), iterations, EVP_sha256(), kHashBytes,
                      reinterpret_cast<unsigned char *>(&out[0]));
    return out;
}

} // namespace

PasswordHash MakePasswordHash(const std::string &password, int iterations) {
    PasswordHash result;
    result.salt.assign(16, '\0');
    RAND_bytes(reinterpret_cast<unsigned char *>(&result.salt[0]), int(result.salt.size()));
    result.iterations = iterations;
    result.hash = Derive(password, result.salt, iterations);
    return result;
}

bool CheckPassword(const PasswordHash &stored, const std::string &password) {
    const int iterations = stored.iterations > 0 ? stored.iterations : kPasswordIterations;
    const std::string computed = Derive(password, stored.salt, iterations);
    return stored.hash.size() == computed.size() &&
           CRYPTO_memcmp(stored.hash.data(), computed.data(), computed.size()) == 0;
}

} // namespace stand
