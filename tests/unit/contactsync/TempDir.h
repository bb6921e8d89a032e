#pragma once

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace VexlaTest {

// A fresh directory under the temporary folder, removed with everything in it.
class CTempDir {
public:
    CTempDir()
    {
        const char* base = getenv("TMPDIR");
        std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/avatarcache.XXXXXX";
        m_path = mkdtemp(&pattern[0]) != nullptr ? pattern : std::string();
    }
    ~CTempDir()
    {
        for (const std::string& name : Files())
            std::remove((m_path + "/" + name).c_str());
        rmdir(m_path.c_str());
    }
    const std::string& Path() const { return m_path; }
    std::wstring WidePath() const { return std::wstring(m_path.begin(), m_path.end()); }
    void Touch(const std::string& name, const std::string& content = "x") const
    {
        std::ofstream(m_path + "/" + name) << content;
    }
    std::set<std::string> Files() const
    {
        std::set<std::string> names;
        if (DIR* dir = opendir(m_path.c_str())) {
            while (const dirent* entry = readdir(dir))
                if (entry->d_name[0] != '.')
                    names.insert(entry->d_name);
            closedir(dir);
        }
        return names;
    }
    std::string Read(const std::string& name) const
    {
        std::ifstream in(m_path + "/" + name, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string m_path;
};

}  // namespace VexlaTest
