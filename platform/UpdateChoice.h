#pragma once

// The user's answer to an offered update, or to "ready to install".
enum class UpdateChoice {
    install, // install now (and relaunch)
    dismiss, // remind me later; at "ready to install": install when the program quits
    skip,    // skip this version: background checks stop offering it
};

// What has happened to an offered update so far, for the user driver's wording.
struct UpdateItemState
{
    enum class Stage {
        notDownloaded,
        downloaded, // downloaded, verified and unpacked; only the swap is left
        installing,
    };
    Stage stage = Stage::notDownloaded;
    bool userInitiated = false;
};
