// SHA-256 through the system's libgcrypt.
#pragma once

#include <cstddef>
#include <string>

namespace zebfile {

class Sha256 {
public:
  Sha256();
  ~Sha256();
  Sha256(Sha256 const&) = delete;
  Sha256& operator=(Sha256 const&) = delete;

  void Update(void const* data, size_t count);
  // The digest of everything given so far, in lower-case hexadecimal.
  std::string HexDigest();

private:
  void* m_Handle = nullptr;
};

} // namespace zebfile
