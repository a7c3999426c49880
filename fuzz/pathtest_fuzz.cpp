// pathtest's options and its reading of paths from standard input: any
// argument list parses without harm, and the bounded line reader prints
// exactly the names a whole-line reader would, over a small tree of files.
//
// Input: a count of arguments (low three bits), that many NUL-ended
// arguments, then the bytes of standard input.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "pathtest/input_sources.h"
#include "pathtest/options.h"

namespace {

char tree[] = "/tmp/pathtest-fuzz-XXXXXX";

void remove_tree()
{
    std::string command = std::string("rm -rf '") + tree + "'";
    if (std::system(command.c_str()) != 0)
        std::fprintf(stderr, "could not remove %s\n", tree);
}

void make_tree()
{
    if (!mkdtemp(tree) || chdir(tree) != 0)
        std::abort();
    std::atexit(remove_tree);
    close(open("file", O_WRONLY | O_CREAT, 0755));
    int fd = open("full", O_WRONLY | O_CREAT, 0600);
    if (fd < 0 || write(fd, "x", 1) != 1)
        std::abort();
    close(fd);
    close(open(".hidden", O_WRONLY | O_CREAT, 0644));
    mkdir("dir", 0755);
    mkfifo("fifo", 0600);
    if (symlink("file", "link") != 0 || symlink("missing", "dangling") != 0)
        std::abort();
}

// Names that pass, read line by line whole, as the reader must agree.
std::string reference(const TestOptions& options, const std::string& input)
{
    std::string printed;
    size_t start = 0;
    while (start < input.size()) {
        size_t end = input.find('\n', start);
        std::string line = input.substr(start, end == std::string::npos ? end : end - start);
        const char* name = line.c_str();  // a NUL ends the name
        if (test_path(options, AT_FDCWD, name))
            printed += std::string(name) + "\n";
        if (end == std::string::npos)
            break;
        start = end + 1;
    }
    return printed;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    make_tree();
    opterr = 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const char* p = reinterpret_cast<const char*>(data) + 1;
    const char* end = reinterpret_cast<const char*>(data) + size;
    std::vector<std::string> words = {"pathtest"};
    for (int count = data[0] & 7; count > 0 && p < end; --count) {
        const char* nul = static_cast<const char*>(std::memchr(p, 0, static_cast<size_t>(end - p)));
        if (!nul)
            return 0;
        words.emplace_back(p, nul);
        p = nul + 1;
    }
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    TestOptions options{};
    optind = 0;
    // Missing reference files are reported with perror; not here.
    int saved_error = dup(2), null_fd = open("/dev/null", O_WRONLY);
    dup2(null_fd, 2);
    int first = parse_options(static_cast<int>(words.size()), argv.data(), options);
    dup2(saved_error, 2);
    close(saved_error);
    close(null_fd);
    if (first < 0)
        return 0;
    if (first > static_cast<int>(words.size()))
        std::abort();
    options.set('q', false);  // would end the process at the first pass

    std::string input(p, end);
    // The reader takes the descriptor under the stream, as with stdin.
    int memory = memfd_create("input", MFD_CLOEXEC);
    if (memory < 0 || write(memory, input.data(), input.size()) != static_cast<ssize_t>(input.size()))
        std::abort();
    lseek(memory, 0, SEEK_SET);
    FILE* in = fdopen(memory, "r");
    if (!in)
        std::abort();
    char* printed = nullptr;
    size_t printed_size = 0;
    FILE* real_stdout = stdout;
    stdout = open_memstream(&printed, &printed_size);
    filter_lines(options, in);
    std::fclose(stdout);
    stdout = real_stdout;
    std::fclose(in);
    std::string got(printed, printed_size);
    std::free(printed);
    if (got != reference(options, input)) {
        std::fprintf(stderr, "reader and reference disagree\n");
        std::abort();
    }
    return 0;
}
