#pragma once

// The kinds of chat message the library reports (CChatMsg::GetMsgType) that the messaging transport
// writes: members added (the body lists them), text, a member who left, the topic set, an emote.
inline constexpr int CHAT_MSG_MEMBERS_ADDED = 1;
inline constexpr int CHAT_MSG_TEXT = 3;
inline constexpr int CHAT_MSG_MEMBER_LEFT = 4;
inline constexpr int CHAT_MSG_TOPIC_SET = 5;
inline constexpr int CHAT_MSG_EMOTE = 7;
