#pragma once

#include "Model/AssignIfChanged.h"

#include <string>

namespace VexlaLib {

// The user's credit balance as the server last reported it.
class CCredit
{
public:
    const std::wstring& GetBalanceCurrency() const { return m_balanceCurrency; }
    int GetBalanceAmount() const { return m_balanceAmount; }
    bool SetBalanceCurrency(const std::wstring& currency) { return AssignIfChanged(m_balanceCurrency, currency); }
    bool SetBalanceAmount(int amount) { return AssignIfChanged(m_balanceAmount, amount); }

private:
    std::wstring m_balanceCurrency;
    int m_balanceAmount = 0;
};

}  // namespace VexlaLib
