#pragma once

#include <map>
#include <vector>

namespace VexlaLib {

class ILog;

// Routes the log categories to their sinks. The process uses one instance (Instance()); its sinks
// are registered at start-up, before any library thread exists, and only read afterwards, so
// logging needs no lock. The log owns its sinks and deletes each once.
class CLog {
public:
    enum TStreamCategory {
        LOG_INFO = 1,
        LOG_DEBUG = 2,
        LOG_NOTICE = 4,
        LOG_WARNING = 8,
        LOG_ERROR = 16
    };

    CLog() = default;
    virtual ~CLog();

    CLog(const CLog&) = delete;
    CLog& operator=(const CLog&) = delete;

    // The process-wide log, created on first use and destroyed at exit.
    static CLog& Instance();

    // Adds the sink to every category whose bit is set in mask.
    void AddStream(int mask, ILog* sink);
    // Like AddStream, but skips the categories that have the sink already.
    void SetStreamMask(int mask, ILog* sink);
    // A copy of the sinks of the category, in registration order.
    std::vector<ILog*> GetStreams(TStreamCategory category) const;
    // The sinks of the category, without a copy; stays valid while no sink is added.
    const std::vector<ILog*>& Streams(TStreamCategory category) const;
    // Whether any sink wants messages of the category.
    bool IsEnabled(TStreamCategory category) const { return !Streams(category).empty(); }

private:
    void AddToCategories(int mask, ILog* sink, bool skipDuplicates);

    std::vector<ILog*> m_allStreams;
    std::map<int, std::vector<ILog*>> m_streams;
};

}  // namespace VexlaLib
