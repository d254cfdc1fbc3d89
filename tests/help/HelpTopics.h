// SPDX-License-Identifier: GPL-2.0-or-later
// Summary: the windows' help topics as a user finds them: the window, its help context, the page and its title.
#pragma once

namespace TestSupport {

struct THelpTopic {
    const char *Window;  // the window tour's name
    unsigned Context;    // 0: the main window, which shows the default topic
    const char *Page;
    const char *Title;
};

inline constexpr THelpTopic HelpTopics[] = {
    {"main", 0, "index.htm", "Vaskimo"},
    {"registry-cleaner", 13, "registry.htm", "Clean registry"},
    {"startup-manager", 16, "startup.htm", "Startup inspector"},
    {"add-remove", 5, "addremove.htm", "Add/remove program list"},
    {"unnecessary-files", 7, "unnecessary.htm", "Unnecessary files"},
    {"invalid-shortcuts", 8, "shortcuts.htm", "Clean invalid shortcuts"},
    {"duplicate-files", 6, "duplicates.htm", "Duplicate files"},
    {"space-usage", 9, "spaceusage.htm", "Space usage"},
    {"update", 19, "update.htm", "Check for updates"},
    {"options", 10, "options.htm", "Options"},
    {"about", 11, "about.htm", "About"},
    {"undo-manager", 17, "undo.htm", "Undo"},
};

}  // namespace TestSupport
