#pragma once

#include <string>
#include <vector>

// What the daemon keeps of its running session's password: enough to tell whether another session
// request names the same one, never the password itself (the library keeps that for logging in
// again). A SHA-1 over a salt drawn afresh for each password and the password's own SHA-1.
class CPasswordFingerprint
{
public:
    void Take(const std::wstring& password);
    // False while nothing was taken.
    bool Matches(const std::wstring& password) const;
    void Clear();

private:
    std::vector<unsigned char> Digest(const std::wstring& password) const;

    std::vector<unsigned char> m_salt;
    std::vector<unsigned char> m_digest;
};
