// The practical limit for converting S-record text: read the whole file into one buffer, decode
// the hex of each S1/S2/S3 record in place, write the bytes. No checks of any kind: records are
// assumed contiguous, ascending and well formed. With --huge the buffer asks for huge pages.
//   bare_decoder [--huge] IN OUT
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

static std::uint8_t hi[256], lo[256];

static unsigned value(unsigned c) {
    if (c >= 'a' && c <= 'z') c -= 32;
    return c < 'A' ? c - '0' : c - 'A' + 10;
}

int main(int argc, char** argv) {
    bool huge = argc > 1 && std::strcmp(argv[1], "--huge") == 0;
    if (argc != 3 + (huge ? 1 : 0)) return 2;
    const char* in = argv[1 + huge];
    const char* out = argv[2 + huge];
    for (unsigned c = 0; c < 256; ++c) {
        lo[c] = value(c);
        hi[c] = value(c) << 4;
    }
    int fd = open(in, O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return 1;
    size_t size = st.st_size;
    std::uint8_t* buf;
    if (huge) {
        size_t len = (size + 1 + (2u << 20) - 1) & ~size_t((2u << 20) - 1);
        void* m = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED) return 1;
        madvise(m, len, MADV_HUGEPAGE);
        buf = static_cast<std::uint8_t*>(m);
    } else {
        buf = static_cast<std::uint8_t*>(malloc(size + 1));
        if (!buf) return 1;
    }
    size_t got = 0;
    while (got < size) {
        ssize_t n = read(fd, buf + got, size - got);
        if (n <= 0) return 1;
        got += n;
    }
    buf[size] = 0;
    close(fd);

    size_t op = 0;
    const std::uint8_t* p = buf;
    const std::uint8_t* end = buf + size;
    while (p < end) {
        if (p[0] == 'S' && p[1] >= '1' && p[1] <= '3') {
            unsigned count = hi[p[2]] + lo[p[3]];
            unsigned alen = p[1] - '0' + 1;
            const std::uint8_t* data = p + 4 + 2 * alen;
            unsigned n = (count - alen - 1) & 0xFF;
            for (unsigned i = 0; i < n; ++i) buf[op++] = hi[data[2 * i]] + lo[data[2 * i + 1]];
            p = data + 2 * n + 2;
        } else {
            ++p;
        }
    }
    int ofd = open(out, O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (ofd < 0) return 1;
    for (size_t done = 0; done < op;) {
        ssize_t n = write(ofd, buf + done, op - done);
        if (n <= 0) return 1;
        done += n;
    }
    return close(ofd) == 0 ? 0 : 1;
}
