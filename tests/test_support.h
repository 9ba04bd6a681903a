// Small helpers shared by the engine's tests.
#pragma once

#include <cstdlib>
#include <fstream>
#include <sstream>
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

    // Makes the folder the working directory until leave(); true when it is.
    bool enter()
    {
        if (!entered_) {
            char *cwd = getcwd(nullptr, 0);
            old_ = cwd ? cwd : "/";
            free(cwd);
            entered_ = chdir(path_.c_str()) == 0;
        }
        return entered_;
    }
    // True when the working directory is no longer the folder.
    bool leave()
    {
        if (entered_ && chdir(old_.c_str()) == 0)
            entered_ = false;
        return !entered_;
    }

private:
    std::string path_;
    std::string old_;
    bool entered_ = false;
};

// The whole text of a file ("" when it cannot be read).
inline std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}
