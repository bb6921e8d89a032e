#include "Tesk/App/SearchCancellation.h"

#include "Tesk/App/ContactSearches.h"
#include "Tesk/Core/BusMessage.h"
#include "Utils/LogStream.h"

void CSearchCancellation::OnCancelSubscription(const TBusMessageSPtr& message)
{
    VexlaLib::LogInfo() << "CSearchCancellation::OnCancelSubscription token=" << message->Token() << std::endl;
    m_pSearches->OnSubscriberGone(message);
}
