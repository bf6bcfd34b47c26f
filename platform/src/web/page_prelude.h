#pragma once
// The script that gives a fresh heap its window and minimal document. It is an expression
// evaluating to a function of (natives, facts, global) that returns the loader's internal
// entry points; the page never sees `natives` or those entry points.
namespace platform::web {
extern const char kPagePrelude[];
}  // namespace platform::web
