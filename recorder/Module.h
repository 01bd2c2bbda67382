// What the recorder's entry points share: the in-process server's plumbing, the vendor's
// component it forwards to, and where its complaints go.
#pragma once

#include <windows.h>

#include <filesystem>
#include <string>

#include "RecorderConfig.h"
#include "common/InprocServer.h"

// recorder.ini beside this file.
TRecorderConfig LoadModuleConfig();
// The component named by config, loaded from that path alone and kept loaded for the process's
// life; null with error set when it cannot be used.
HMODULE LoadComponent(const TRecorderConfig& config, std::wstring& error);
// Appends a dated line to recorder-errors.txt in folder, or, when the folder cannot take it (or
// is empty), in the user's temporary folder, saying so (never throws).
void WriteErrorNote(const std::filesystem::path& folder, const std::wstring& message);

// A ComPort object that records what it forwards to the component's own ComPort.
HRESULT CreateRecordingPort(REFIID iid, void** object);
