// Cost of listing the applications: find_applications over 1,000 desktop
// entries shaped like a desktop's own (names, comments and keywords in 30
// languages, an action group; 4.6 MB in all), against the floor of reading
// the same files and nothing else (readdir, then open, read and close each).
// The entries are made in a temporary directory at start.
//
//   apps_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "ravlin-apps/application_search.h"

namespace {

std::string entries_dir;

void make_entries(const std::string& dir)
{
    const char* languages[] = {"ar", "bg", "ca", "cs", "da", "de", "el", "es", "et", "eu",
                               "fi", "fr", "gl", "he", "hu", "id", "it", "ja", "ko", "lt",
                               "nl", "pl", "pt", "pt_BR", "ro", "ru", "sk", "sv", "tr", "zh_CN"};
    for (int i = 0; i < 1000; ++i) {
        std::string path = dir + "/org.example.Tool" + std::to_string(i) + ".desktop";
        FILE* file = fopen(path.c_str(), "w");
        fprintf(file, "[Desktop Entry]\nType=Application\nVersion=1.5\n");
        fprintf(file, "Name=Application %04d\nGenericName=Tool number %d\n", i, i);
        fprintf(file, "Comment=Does the work of tool %d with files of every kind\n", i);
        for (const char* lang : languages) {
            fprintf(file, "Name[%s]=Application %04d (%s)\n", lang, i, lang);
            fprintf(file, "GenericName[%s]=Tool %d (%s)\n", lang, i, lang);
            fprintf(file, "Comment[%s]=Does the work of tool %d, in %s\n", lang, i, lang);
            fprintf(file, "Keywords[%s]=tool;work;files;%s;\n", lang, lang);
        }
        fprintf(file, "Exec=tool-%04d --new-window %%U\nIcon=org.example.Tool%04d\n", i, i);
        fprintf(file, "Terminal=false\nCategories=Utility;Development;\n");
        fprintf(file, "MimeType=text/plain;text/x-csrc;text/x-c++src;\nStartupNotify=true\n");
        fprintf(file, "Actions=new-window;\n\n[Desktop Action new-window]\nName=New Window\n");
        fprintf(file, "Exec=tool-%04d --new-window\n", i);
        fclose(file);
    }
}

void BM_ListApplications(benchmark::State& state)
{
    ListingContext context;
    context.locales = {"de_DE", "de"};
    size_t count = 0;
    for (auto _ : state) {
        std::vector<DesktopEntry> entries = find_applications({entries_dir}, context);
        count = entries.size();
        benchmark::DoNotOptimize(entries.data());
    }
    state.counters["entries"] = static_cast<double>(count);
}
BENCHMARK(BM_ListApplications)->Unit(benchmark::kMillisecond);

// The floor: the same directory read and every file read whole, no parsing.
void BM_ReadEntryFilesOnly(benchmark::State& state)
{
    std::string buffer(64 * 1024, '\0');
    size_t bytes = 0;
    for (auto _ : state) {
        bytes = 0;
        DIR* dir = opendir(entries_dir.c_str());
        int dir_fd = dirfd(dir);
        while (dirent* entry = readdir(dir)) {
            if (entry->d_type != DT_REG)
                continue;
            int fd = openat(dir_fd, entry->d_name, O_RDONLY | O_CLOEXEC);
            ssize_t n = read(fd, buffer.data(), buffer.size());
            bytes += n > 0 ? static_cast<size_t>(n) : 0;
            close(fd);
        }
        closedir(dir);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_ReadEntryFilesOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    char pattern[] = "/tmp/apps-bench-XXXXXX";
    if (!mkdtemp(pattern))
        return 1;
    entries_dir = std::string(pattern) + "/applications";
    mkdir(entries_dir.c_str(), 0755);
    make_entries(entries_dir);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(pattern);
    return 0;
}
