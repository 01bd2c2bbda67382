// What a grid tells a screen reader: a table whose children are its rows (the title row first,
// its cells column headers), each row a child object whose name is its cells' texts in column
// order and whose own children are its cells (name: the text; description: the column's title).
// Everything is read from the grid when asked, on the window thread; an object of rows the grid
// has since replaced, or of a grid that is gone, answers CO_E_OBJNOTCONNECTED.
#pragma once

#include <memory>

#include "views/Accessible.h"

class TDrawGrid;

// The grid an accessible object reads; null once the grid's window is gone.
using TGridLink = std::shared_ptr<const TDrawGrid*>;

// The grid's own object (OBJID_CLIENT), with one reference for the caller.
IAccessible* NewGridAccessible(TGridLink grid);
