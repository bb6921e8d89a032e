#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

// The debug settings file: one library property key and its value per line, separated by blanks or
// tabs; words after the value are ignored; a key starting with "#" skips itself and the next token.
class CDebugSettings {
public:
    typedef std::pair<std::wstring, std::wstring> TSetting;
    typedef std::function<void(const std::wstring& key, const std::wstring& value)> TSetProperty;

    // Reads the file; returns false (and leaves settings alone) when it cannot be opened.
    static bool Load(const std::string& fileName, std::vector<TSetting>* settings);
    // The settings of a file's bytes, in file order.
    static std::vector<TSetting> Scan(const std::string& text);
    // Logs each setting (password values redacted) and hands it to setProperty.
    static void Apply(const std::vector<TSetting>& settings, const TSetProperty& setProperty);
};
