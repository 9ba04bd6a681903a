// Small helpers shared by the engine's tests.
#pragma once

#include <cstdlib>
#include <string>

#include <unistd.h>

// A temporary folder that a test can work in; removed again with its files.
class TempDir {
public:
    TempDir()
    {
        char pattern[] = "/tmp/vemra-test-XXXXXX";
        const char *made = mkdtemp(pattern);
        path_ = made ? made : "";
    }
    ~TempDir()
    {
        leave();
        if (!path_.empty())
            std::system(("rm -rf '" + path_ + "'").c_str());
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const std::string &path() const { return path_; }
    std::string file(const std::string &name) const { return path_ + "/" + name; }

    // Makes the folder the working directory until leave().
    void enter()
    {
        if (!entered_) {
            char *cwd = getcwd(nullptr, 0);
            old_ = cwd ? cwd : "/";
            free(cwd);
            entered_ = chdir(path_.c_str()) == 0;
        }
    }
    void leave()
    {
        if (entered_ && chdir(old_.c_str()) == 0)
            entered_ = false;
    }

private:
    std::string path_;
    std::string old_;
    bool entered_ = false;
};
