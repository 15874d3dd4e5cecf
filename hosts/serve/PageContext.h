// The page host's side of OnStartPage: a scripting context that hands out the page's Request,
// Response, Server, Session and Application objects. The component only holds them between
// OnStartPage and OnEndPage, so here they are plain objects with no members of their own.
#pragma once

#include "platform/common/ScriptingContext.h"

// Creates a context with its five page objects; the caller owns the one reference.
IScriptingContext* CreateScriptingContext();

// The context of every page the calling thread runs, made at its first (null when it cannot
// be, until it can): the component holds the page objects only from OnStartPage to
// OnEndPage, so a page leaves nothing in it for the next. The thread owns it.
IScriptingContext* ThreadScriptingContext();

// Page objects alive in this process, for tests that check every one is released.
long LivePageObjects();
