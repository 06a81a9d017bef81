#include "Sha256.h"

#include <gcrypt.h>

#include <stdexcept>

namespace zebfile {
namespace {

// libgcrypt wants its version checked once before any other call; the
// digests need no secure memory.
void InitializeOnce() {
  static bool const initialized = [] {
    if (gcry_check_version(GCRYPT_VERSION) == nullptr) {
      throw std::runtime_error("libgcrypt is older than the one the tool was built with");
    }
    gcry_control(GCRYCTL_DISABLE_SECMEM, 0);
    gcry_control(GCRYCTL_INITIALIZATION_FINISHED, 0);
    return true;
  }();
  (void)initialized;
}

} // namespace

Sha256::Sha256() {
  InitializeOnce();
  gcry_md_hd_t handle = nullptr;
  if (gcry_md_open(&handle, GCRY_MD_SHA256, 0) != 0) {
    throw std::runtime_error("SHA-256 is not available");
  }
  m_Handle = handle;
}

Sha256::~Sha256() { gcry_md_close(static_cast<gcry_md_hd_t>(m_Handle)); }

void Sha256::Update(void const* data, size_t count) { gcry_md_write(static_cast<gcry_md_hd_t>(m_Handle), data, count); }

std::string Sha256::HexDigest() {
  unsigned char const* digest = gcry_md_read(static_cast<gcry_md_hd_t>(m_Handle), GCRY_MD_SHA256);
  static char const hex[] = "0123456789abcdef";
  std::string out;
  for (unsigned i = 0; i < 32; ++i) {
    out += hex[digest[i] >> 4];
    out += hex[digest[i] & 15];
  }
  return out;
}

} // namespace zebfile
