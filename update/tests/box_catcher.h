#pragma once
// Catches the message boxes this process shows while it runs a piece of
// work: each box's text is recorded and the box is closed with OK.
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Runs `work` on this thread; returns the texts of the boxes captioned
// `caption` that it showed, in order.
std::vector<std::wstring> catchBoxes(const wchar_t* caption, const std::function<void()>& work);
