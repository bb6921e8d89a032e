#include <gtest/gtest.h>

#include "Tesk/App/Meridex/IMChatHandles.h"

TEST(IMChatHandles, AbsorbedChatPassesItsNamesAndBindingToTheSurvivor)
{
    CIMChatHandles handles;
    handles.Set(L"#alice/$bob;1", 4);
    handles.Set(L"alice1700000000", 4);
    handles.Set(L"#carol/$alice;2", 9);
    handles.Bind(4);

    handles.Replace(4, 7);

    EXPECT_EQ(handles.Find(L"#alice/$bob;1"), 7);
    EXPECT_EQ(handles.Find(L"alice1700000000"), 7);
    EXPECT_EQ(handles.Find(L"#carol/$alice;2"), 9);
    EXPECT_TRUE(handles.IsBound(7));
    EXPECT_FALSE(handles.IsBound(4));
}

TEST(IMChatHandles, AnUnboundChatStaysUnboundWhenAbsorbed)
{
    CIMChatHandles handles;
    handles.Set(L"chat", 4);
    handles.Replace(4, 7);
    EXPECT_FALSE(handles.IsBound(7));
    EXPECT_EQ(handles.Find(L"chat"), 7);
}

TEST(IMChatHandles, ANewSessionForgetsTheNamesAndALogoutTheBindingsToo)
{
    CIMChatHandles handles;
    handles.Set(L"chat", 4);
    handles.Bind(4);

    handles.Clear(false);
    EXPECT_FALSE(handles.Has(L"chat"));
    EXPECT_EQ(handles.Find(L"chat"), 0);
    EXPECT_TRUE(handles.IsBound(4));

    handles.Set(L"chat", 4);
    handles.Clear(true);
    EXPECT_FALSE(handles.Has(L"chat"));
    EXPECT_FALSE(handles.IsBound(4));
}
