#pragma once

#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "Utils/PersistentFileStorage.h"
#include "Utils/Utils.h"

// A private directory per test and a clock the test sets; the store file is "<dir>/vexla.dat".
class StorageTest : public ::testing::Test {
protected:
    static long long s_nowMs;
    static long long Clock() { return s_nowMs; }

    void SetUp() override {
        char pattern[] = "/tmp/vexla-storage-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        m_dir = pattern;
        m_path = m_dir + "/vexla.dat";
        m_tempPath = m_path + ".tmp";
        s_nowMs = 1700000000000LL;
        VexlaLib::CUtils::SetClockSource(&Clock);
    }

    void TearDown() override {
        VexlaLib::CUtils::SetClockSource(nullptr);
        for (const std::string& name : Listing()) {
            std::string path = m_dir + "/" + name;
            if (rmdir(path.c_str()) != 0) {
                unlink(path.c_str());
            }
        }
        rmdir(m_dir.c_str());
    }

    std::wstring WidePath() const { return std::wstring(m_path.begin(), m_path.end()); }

    std::set<std::string> Listing() const {
        std::set<std::string> names;
        if (DIR* dir = opendir(m_dir.c_str())) {
            while (dirent* entry = readdir(dir)) {
                std::string name = entry->d_name;
                if (name != "." && name != "..") names.insert(name);
            }
            closedir(dir);
        }
        return names;
    }

    static std::vector<unsigned char> ReadFile(const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }

    static void WriteFile(const std::string& path, const std::vector<unsigned char>& content) {
        std::ofstream file(path, std::ios::binary | std::ios::trunc);
        file.write(reinterpret_cast<const char*>(content.data()), std::streamsize(content.size()));
    }

    std::string m_dir;
    std::string m_path;
    std::string m_tempPath;
};
