#pragma once

#include <deque>
#include <functional>
#include <utility>

// Callers of one kind of library request that the library holds only once at a time, and whose answer
// carries no request id: one request is outstanding at the library, the answer belongs to it, and the
// others wait their turn in arrival order. Every request is answered exactly once unless its caller
// withdraws it. Handlers may add or withdraw requests. Main-loop thread only.
template <typename TAnswer>
class CRequestQueue {
public:
    enum TAskResult {
        ASK_SENT,     // the library took the request; its answer is awaited
        ASK_REFUSED,  // the library refused it: the request gets the refusal answer
        ASK_WAIT      // the library is busy with a request of its own: asked again on Retry
    };
    using TAsk = std::function<TAskResult()>;
    using THandler = std::function<void(const TAnswer&)>;

    // `refused` answers a request the library refused. With `replacesOutstanding` a new request
    // replaces the outstanding one at the library (whose late answer it drops), so a withdrawn
    // outstanding request lets the next one go at once; otherwise the next waits for its answer.
    CRequestQueue(TAnswer refused, bool replacesOutstanding)
        : m_refused(std::move(refused)), m_replacesOutstanding(replacesOutstanding)
    {
    }

    CRequestQueue(const CRequestQueue&) = delete;
    CRequestQueue& operator=(const CRequestQueue&) = delete;

    // Queues a request; `ask` runs when its turn comes (possibly at once). Returns its ticket, never 0.
    int Add(TAsk ask, THandler handler)
    {
        const int ticket = NextTicket();
        m_queue.push_back({ticket, std::move(ask), std::move(handler)});
        IssueNext();
        return ticket;
    }

    // The caller went away: its request is forgotten and its handler never runs.
    void Withdraw(int ticket)
    {
        for (auto it = m_queue.begin(); it != m_queue.end(); ++it) {
            if (it->ticket != ticket)
                continue;
            if (it != m_queue.begin() || !m_outstanding) {
                m_queue.erase(it);
            } else if (m_replacesOutstanding) {
                m_queue.pop_front();
                m_outstanding = false;
                IssueNext();
            } else {
                it->handler = nullptr;  // the library's answer still ends it
            }
            return;
        }
    }

    // The library's answer: it goes to the outstanding request. False when none is outstanding.
    bool Answer(const TAnswer& answer)
    {
        if (!m_outstanding || m_queue.empty())
            return false;
        TRequest request = std::move(m_queue.front());
        m_queue.pop_front();
        m_outstanding = false;
        if (request.handler)
            request.handler(answer);
        IssueNext();
        return true;
    }

    // Answers every request, outstanding or waiting, with `answer` (the library forgot them).
    void EndAll(const TAnswer& answer)
    {
        std::deque<TRequest> ended;
        ended.swap(m_queue);
        m_outstanding = false;
        for (TRequest& request : ended)
            if (request.handler)
                request.handler(answer);
    }

    // Asks again for a request the library was too busy to take.
    void Retry() { IssueNext(); }

    bool IsOutstanding() const { return m_outstanding; }
    bool IsEmpty() const { return m_queue.empty(); }

private:
    struct TRequest {
        int ticket;
        TAsk ask;
        THandler handler;
    };

    int NextTicket()
    {
        if (++m_lastTicket <= 0)
            m_lastTicket = 1;
        return m_lastTicket;
    }

    // Sends the first waiting request; the library may answer it (or refuse it) while being asked.
    void IssueNext()
    {
        if (m_issuing)
            return;
        m_issuing = true;
        while (!m_outstanding && !m_queue.empty()) {
            const int ticket = m_queue.front().ticket;
            m_outstanding = true;
            const TAskResult result = m_queue.front().ask();
            const bool stillFront = !m_queue.empty() && m_queue.front().ticket == ticket && m_outstanding;
            if (result == ASK_SENT || !stillFront)
                continue;
            m_outstanding = false;
            if (result == ASK_WAIT)
                break;
            TRequest refused = std::move(m_queue.front());
            m_queue.pop_front();
            if (refused.handler)
                refused.handler(m_refused);
        }
        m_issuing = false;
    }

    const TAnswer m_refused;
    const bool m_replacesOutstanding;
    std::deque<TRequest> m_queue;
    bool m_outstanding = false;
    bool m_issuing = false;
    int m_lastTicket = 0;
};
