#pragma once

// The words the player, its controls and the desktop's media controls share
// about playback, without any of them knowing the engine.
namespace velmora {

enum class PlayState { Stopped, Playing, Paused };

enum class PlayStatus {
    Idle,      // nothing loaded
    Loading,   // opening the address
    Buffering, // loaded, waiting for data
    Loaded,
    Ended, // played to the end
};

// Why an address stopped playing before its end. Refused is the server's
// 401, 403 or 410: a signed address that expired, say.
enum class PlayFailure { Network, Refused, Unreadable, Unsupported, NoSound, Other };

} // namespace velmora
