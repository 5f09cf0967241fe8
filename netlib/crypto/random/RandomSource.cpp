#include "crypto/random/RandomSource.h"

#include <cerrno>
#include <cstdlib>

#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/random.h>
#include <unistd.h>

#include "core/secure/SecureWipe.h"

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

// Small draws come from a block of kernel bytes kept per thread: a system
// call for every nonce and key share was a measurable part of a handshake.
// The block's pages are wiped in a forked child (MADV_WIPEONFORK) and its
// count of unused bytes lives in them, so a child starts empty and never
// repeats its parent's bytes. Bytes handed out are wiped from the block.
// Where the kernel refuses the advice, no block is kept.
constexpr size_t kBlockBytes = 1024;
constexpr size_t kLargestBuffered = 256;

struct RandomBlock {
  size_t unused;  // bytes not yet handed out, at the end of data
  uint8_t data[kBlockBytes];
};

class ThreadBlock {
 public:
  ThreadBlock() = default;
  ThreadBlock(const ThreadBlock&) = delete;
  ThreadBlock& operator=(const ThreadBlock&) = delete;
  ~ThreadBlock() {
    if (block_ == nullptr) return;
    SecureWipe(block_, sizeof *block_);
    munmap(block_, sizeof *block_);
  }

  RandomBlock* Get() {
    if (!tried_) {
      tried_ = true;
      void* map = mmap(nullptr, sizeof(RandomBlock), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (map == MAP_FAILED) return nullptr;
      if (madvise(map, sizeof(RandomBlock), MADV_WIPEONFORK) != 0) {
        munmap(map, sizeof(RandomBlock));
        return nullptr;
      }
      block_ = static_cast<RandomBlock*>(map);
    }
    return block_;
  }

 private:
  bool tried_ = false;
  RandomBlock* block_ = nullptr;
};

thread_local ThreadBlock threadBlock;

void Draw(uint8_t* p, size_t n) {
  RandomBlock* block = n <= kLargestBuffered ? threadBlock.Get() : nullptr;
  if (block == nullptr) {
    KernelRandom(p, n);
    return;
  }
  if (block->unused < n || block->unused > kBlockBytes) {
    KernelRandom(block->data, kBlockBytes);
    block->unused = kBlockBytes;
  }
  uint8_t* from = block->data + (kBlockBytes - block->unused);
  std::memcpy(p, from, n);
  SecureWipe(from, n);
  block->unused -= n;
}

}  // namespace

void RandomSource::Fill(uint8_t* buf, int offset, int len) {
  if (buf == nullptr || len <= 0) return;
  Draw(buf + offset, size_t(len));
}

void RandomSource::FillNonZero(uint8_t* buf, int offset, int len) {
  if (buf == nullptr || len <= 0) return;
  uint8_t* p = buf + offset;
  Draw(p, size_t(len));
  // Redraw zero bytes so the non-zero bytes stay uniform over 1..255.
  uint8_t spare[64];
  size_t used = sizeof spare;
  for (int i = 0; i < len; ++i) {
    while (p[i] == 0) {
      if (used == sizeof spare) {
        Draw(spare, sizeof spare);
        used = 0;
      }
      p[i] = spare[used++];
    }
  }
  SecureWipe(spare, sizeof spare);
}

}  // namespace tornell
