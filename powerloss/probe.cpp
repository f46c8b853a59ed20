// A program for the recorder's tests: makes the file calls it is told, one argument each, in a
// folder. `powerloss_probe FOLDER "create a" "write a 0 hello" "fsync a" ...`. Exits 1 with the
// call and the system's reason when a call fails.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string folder;

std::string At(const std::string& name) {
    return folder + "/" + name;
}

[[noreturn]] void Fail(const std::string& what) {
    std::cerr << "probe: " << what << ": " << std::strerror(errno) << "\n";
    std::exit(1);
}

int Open(const std::string& name, int flags) {
    const int fd = ::open(At(name).c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) Fail("open " + name);
    return fd;
}

void Check(bool ok, const std::string& what) {
    if (!ok) Fail(what);
}

void Run(const std::vector<std::string>& w) {
    const std::string& op = w[0];
    auto arg = [&](size_t i) -> const std::string& {
        static const std::string none;
        return i < w.size() ? w[i] : none;
    };
    if (op == "create") {
        ::close(Open(arg(1), O_WRONLY | O_CREAT | O_TRUNC));
    } else if (op == "write") {  // write NAME OFFSET TEXT
        const int fd = Open(arg(1), O_WRONLY);
        const std::string& text = arg(3);
        Check(::pwrite(fd, text.data(), text.size(), std::stoll(arg(2))) ==
                  static_cast<ssize_t>(text.size()),
              "pwrite " + arg(1));
        ::close(fd);
    } else if (op == "fill") {  // fill NAME OFFSET COUNT CHAR: a long write
        const int fd = Open(arg(1), O_WRONLY);
        const std::string text(std::stoul(arg(3)), arg(4)[0]);
        Check(::pwrite(fd, text.data(), text.size(), std::stoll(arg(2))) ==
                  static_cast<ssize_t>(text.size()),
              "pwrite " + arg(1));
        ::close(fd);
    } else if (op == "writev") {  // writev NAME OFFSET A B: at the offset by lseek
        const int fd = Open(arg(1), O_WRONLY);
        Check(::lseek(fd, std::stoll(arg(2)), SEEK_SET) >= 0, "lseek");
        iovec v[2] = {{const_cast<char*>(arg(3).data()), arg(3).size()},
                      {const_cast<char*>(arg(4).data()), arg(4).size()}};
        Check(::writev(fd, v, 2) == static_cast<ssize_t>(arg(3).size() + arg(4).size()),
              "writev " + arg(1));
        ::close(fd);
    } else if (op == "append") {
        const int fd = Open(arg(1), O_WRONLY | O_APPEND);
        Check(::write(fd, arg(2).data(), arg(2).size()) == static_cast<ssize_t>(arg(2).size()),
              "append " + arg(1));
        ::close(fd);
    } else if (op == "dsync") {  // a write through a descriptor opened O_DSYNC
        const int fd = Open(arg(1), O_WRONLY | O_DSYNC);
        Check(::pwrite(fd, arg(2).data(), arg(2).size(), 0) == static_cast<ssize_t>(arg(2).size()),
              "dsync " + arg(1));
        ::close(fd);
    } else if (op == "fsync" || op == "fdatasync") {
        const int fd = Open(arg(1), O_RDONLY);
        Check((op == "fsync" ? ::fsync(fd) : ::fdatasync(fd)) == 0, op + " " + arg(1));
        ::close(fd);
    } else if (op == "syncdir") {
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        Check(fd >= 0 && ::fsync(fd) == 0, "fsync of the folder");
        ::close(fd);
    } else if (op == "truncate") {
        const int fd = Open(arg(1), O_WRONLY);
        Check(::ftruncate(fd, std::stoll(arg(2))) == 0, "ftruncate " + arg(1));
        ::close(fd);
    } else if (op == "rename") {
        Check(::rename(At(arg(1)).c_str(), At(arg(2)).c_str()) == 0, "rename");
    } else if (op == "link") {
        Check(::link(At(arg(1)).c_str(), At(arg(2)).c_str()) == 0, "link");
    } else if (op == "unlink") {
        Check(::unlink(At(arg(1)).c_str()) == 0, "unlink " + arg(1));
    } else if (op == "mkdir") {
        Check(::mkdir(At(arg(1)).c_str(), 0755) == 0, "mkdir " + arg(1));
    } else if (op == "tmpfile" || op == "tmpfile-proc") {  // tmpfile NAME TEXT: linked in
        const int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0644);
        Check(fd >= 0, "open O_TMPFILE");
        Check(::write(fd, arg(2).data(), arg(2).size()) == static_cast<ssize_t>(arg(2).size()),
              "write");
        Check(::fsync(fd) == 0, "fsync");
        if (op == "tmpfile") {
            Check(::linkat(fd, "", AT_FDCWD, At(arg(1)).c_str(), AT_EMPTY_PATH) == 0, "linkat");
        } else {
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            Check(::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, At(arg(1)).c_str(),
                           AT_SYMLINK_FOLLOW) == 0,
                  "linkat");
        }
        ::close(fd);
    } else if (op == "mapshared") {  // writes a byte through a shared map
        const int fd = Open(arg(1), O_RDWR);
        void* at = ::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        Check(at != MAP_FAILED, "mmap");
        static_cast<char*>(at)[0] = 'M';
        ::munmap(at, 4096);
        ::close(fd);
    } else if (op == "threads") {  // threads NAME N: N threads writing 512-byte blocks each
        const int fd = Open(arg(1), O_WRONLY);
        const int n = std::stoi(arg(2));
        std::vector<std::thread> threads;
        for (int t = 0; t < n; ++t) {
            threads.emplace_back([fd, t, n] {
                const std::string block(512, static_cast<char>('a' + t));
                for (int i = 0; i < 50; ++i)
                    (void)!::pwrite(fd, block.data(), block.size(), (i * n + t) * 512);
                (void)::fdatasync(fd);
            });
        }
        for (std::thread& t : threads) t.join();
        ::close(fd);
    } else if (op == "read") {
        const int fd = Open(arg(1), O_RDONLY);
        char buffer[64];
        Check(::read(fd, buffer, sizeof buffer) >= 0, "read " + arg(1));
        ::close(fd);
    } else if (op == "fwrite") {  // stdio writes to a file: the recorder cannot see them
        FILE* f = std::fopen(At(arg(1)).c_str(), "w");
        Check(f != nullptr, "fopen");
        std::fputs("text", f);
        std::fclose(f);
    } else if (op == "copy") {  // copy_file_range A B
        const int in = Open(arg(1), O_RDONLY);
        const int out = Open(arg(2), O_WRONLY);
        Check(::copy_file_range(in, nullptr, out, nullptr, 16, 0) >= 0, "copy_file_range");
    } else if (op == "say") {
        std::cout << arg(1) << std::endl;
    } else {
        std::cerr << "probe: unknown call " << op << "\n";
        std::exit(2);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: powerloss_probe FOLDER CALL...\n";
        return 2;
    }
    folder = argv[1];
    for (int i = 2; i < argc; ++i) {
        std::istringstream in(argv[i]);
        std::vector<std::string> words;
        for (std::string word; in >> word;) words.push_back(word);
        if (!words.empty()) Run(words);
    }
    return 0;
}
