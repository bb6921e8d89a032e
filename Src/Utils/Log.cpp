#include "Utils/Log.h"

#include <algorithm>

#include "Utils/ILog.h"

namespace VexlaLib {

namespace {

bool Contains(const std::vector<ILog*>& sinks, const ILog* sink)
{
    return std::find(sinks.begin(), sinks.end(), sink) != sinks.end();
}

}  // namespace

CLog::~CLog()
{
    for (ILog* sink : m_allStreams)
        delete sink;
}

CLog& CLog::Instance()
{
    static CLog log;
    return log;
}

void CLog::AddStream(int mask, ILog* sink)
{
    AddToCategories(mask, sink, false);
}

void CLog::SetStreamMask(int mask, ILog* sink)
{
    AddToCategories(mask, sink, true);
}

std::vector<ILog*> CLog::GetStreams(TStreamCategory category) const
{
    return Streams(category);
}

const std::vector<ILog*>& CLog::Streams(TStreamCategory category) const
{
    static const std::vector<ILog*> kNone;
    const auto found = m_streams.find(category);
    return found == m_streams.end() ? kNone : found->second;
}

void CLog::AddToCategories(int mask, ILog* sink, bool skipDuplicates)
{
    // The owner list never holds a sink twice, whichever way it was added, so it is deleted once.
    if (!Contains(m_allStreams, sink))
        m_allStreams.push_back(sink);
    for (long long bit = 1; bit <= mask; bit <<= 1) {
        if ((mask & bit) == 0)
            continue;
        std::vector<ILog*>& sinks = m_streams[static_cast<int>(bit)];
        if (!skipDuplicates || !Contains(sinks, sink))
            sinks.push_back(sink);
    }
}

}  // namespace VexlaLib
