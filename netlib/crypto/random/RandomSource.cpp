#include "crypto/random/RandomSource.h"

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace tornell {

namespace {

bool ReadUrandom(uint8_t* p, size_t n) {
  int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  while (n > 0) {
    ssize_t got = read(fd, p, n);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      close(fd);
      return false;
    }
    p += got;
    n -= size_t(got);
  }
  close(fd);
  return true;
}

void KernelRandom(uint8_t* p, size_t n) {
  while (n > 0) {
    ssize_t got = getrandom(p, n, 0);
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    p += got;
    n -= size_t(got);
  }
  if (n == 0 || ReadUrandom(p, n)) return;
  // Keys, nonces and secrets come from here: carrying on with guessable bytes
  // would be worse than stopping.
  abort();
}

}  // namespace

void RandomSource::Fill(uint8_t* buf, int offset, int len) {
  if (buf == nullptr || len <= 0) return;
  KernelRandom(buf + offset, size_t(len));
}

void RandomSource::FillNonZero(uint8_t* buf, int offset, int len) {
  if (buf == nullptr || len <= 0) return;
  uint8_t* p = buf + offset;
  KernelRandom(p, size_t(len));
  // Redraw zero bytes so the non-zero bytes stay uniform over 1..255.
  uint8_t spare[64];
  size_t used = sizeof spare;
  for (int i = 0; i < len; ++i) {
    while (p[i] == 0) {
      if (used == sizeof spare) {
        KernelRandom(spare, sizeof spare);
        used = 0;
      }
      p[i] = spare[used++];
    }
  }
}

}  // namespace tornell
