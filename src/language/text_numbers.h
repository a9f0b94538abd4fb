// The numbered texts of lang.ini ("strN") that the uninstaller shows, named
// by what each is for.
#pragma once

enum LanguageText : unsigned {
    kTextConfirmCaption = 71,          // the question whether to uninstall
    kTextConfirmQuestion = 72,
    kTextMainHeading = 73,             // the main dialog, in the title font
    kTextMainIntro = 74,
    kTextMainWait = 75,
    kTextMainSuccess = 76,             // shown when the work is done
    kTextRegistrationError = 89,       // the product's entry cannot be removed
    kTextRegistrationErrorCaption = 90,
    kTextRestartCaption = 96,          // the offer to restart Windows
    kTextRestartQuestion = 97,
    kTextSystemFileYes = 100,          // the system-file question's buttons
    kTextSystemFileYesToAll = 101,
    kTextSystemFileNo = 102,
    kTextSystemFileNoToAll = 103,
    kTextSystemFileQuestion = 104,
};

// Every text above, which each language of lang.ini must have; 0 ends the list.
inline constexpr unsigned kShownTextNumbers[] = {
    kTextConfirmCaption,     kTextConfirmQuestion,          kTextMainHeading,
    kTextMainIntro,          kTextMainWait,                 kTextMainSuccess,
    kTextRegistrationError,  kTextRegistrationErrorCaption, kTextRestartCaption,
    kTextRestartQuestion,    kTextSystemFileYes,            kTextSystemFileYesToAll,
    kTextSystemFileNo,       kTextSystemFileNoToAll,        kTextSystemFileQuestion,
    0,
};
