#pragma once

namespace VexlaLib {

// Bits of the change mask passed with OnContactUpdated and OnContactPropsUpdated: one per contact field.
enum eContactChange
{
    CHANGE_AVAILABILITY = 0x1,
    CHANGE_FULLNAME = 0x2,
    CHANGE_DISPLAYNAME = 0x4,
    CHANGE_MOODTEXT = 0x8,
    CHANGE_AUTHMSG = 0x10,
    CHANGE_PHONE_HOME = 0x20,
    CHANGE_PHONE_OFFICE = 0x40,
    CHANGE_PHONE_MOBILE = 0x80,
    CHANGE_COUNTRY = 0x100,
    CHANGE_CITY = 0x200,
    CHANGE_PROVINCE = 0x400,
    CHANGE_LANGUAGES = 0x800,
    CHANGE_GENDER = 0x1000,
    CHANGE_BIRTHDAY = 0x2000,
    CHANGE_AVATAR = 0x4000,
    CHANGE_EMAILS = 0x8000,
    CHANGE_HOMEPAGE = 0x10000,
    CHANGE_ABOUT = 0x20000,
    CHANGE_NROFCONTACTS = 0x40000
};

}  // namespace VexlaLib
