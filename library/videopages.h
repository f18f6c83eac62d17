#pragma once

#include "library/videomanagepage.h"
#include "library/videosearchpage.h"

class QWidget;
class ShellServices;
struct ShellHooks;

// The manage and the search page as the main window hosts them.
struct VideoPages
{
    VideoManagePage *manage = nullptr;
    VideoSearchPage *search = nullptr;
};

// Creates both pages as children of parent, lets a search result open its
// category on the manage page, and fills the navigation hooks (entering the
// manage page, a tree click on it). The main window puts the two widgets into
// its managePage and searchPage.
VideoPages createVideoPages(ShellServices *services, ShellHooks &hooks, QWidget *parent);
