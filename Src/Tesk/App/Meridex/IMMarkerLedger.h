#pragma once

#include <deque>
#include <map>
#include <string>

namespace VexlaLib {
class IPersistentStorage;
}

// Keeps a chat's stored message marker behind the writes it stands for. Each batch of new messages opens
// an entry with the marker of its newest message; the marker is stored only once every write of that
// batch, and of every earlier batch of the chat, has been answered. A crash before then leaves the older
// marker, and the messages after it are handed over again (their writes find the records already there).
// Main-loop thread only.
class CIMMarkerLedger {
public:
    explicit CIMMarkerLedger(VexlaLib::IPersistentStorage* storage);

    CIMMarkerLedger(const CIMMarkerLedger&) = delete;
    CIMMarkerLedger& operator=(const CIMMarkerLedger&) = delete;

    // The marker of the chat's last message handed over for writing: the stored one before any.
    std::wstring Handled(const std::wstring& chat) const;

    // Stores `marker` at once when no batch of the chat is open: where delivery stands before the
    // chat's first batch.
    void Anchor(const std::wstring& chat, const std::wstring& marker);
    // A batch of the chat up to `marker`; its writes are announced with Expect and ended with Written,
    // and Close says that no more will come. Returns the batch's id.
    int Open(const std::wstring& chat, const std::wstring& marker);
    void Expect(int batch);
    void Written(int batch);
    void Close(int batch);

private:
    struct SBatch {
        std::wstring chat;
        std::wstring marker;
        int outstanding = 0;
        bool closed = false;
    };

    // Stores the markers of the chat's leading batches that are complete.
    void Advance(std::wstring chat);

    VexlaLib::IPersistentStorage* m_pStorage;
    int m_nextBatch = 1;
    std::map<int, SBatch> m_batches;
    std::map<std::wstring, std::deque<int>> m_order;  // per chat, its open batches oldest first
    std::map<std::wstring, std::wstring> m_handled;
};
