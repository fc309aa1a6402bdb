// Messages posted to the main window from any thread (the sound output's
// thread, for one), handled on the main thread by the next pass of message
// processing, in the order they were posted.
#pragma once
#include <cstdint>

namespace morpotta {

// Queues a message for window (the main window's handle as the poster saw
// it); 0, or -1 for a null window. A message whose window is no longer the
// main window when it comes up is dropped.
int PostEngineMessage(void* window, uint32_t message, uintptr_t wParam, intptr_t lParam);
// Messages waiting (tests and diagnostics).
int CountPostedEngineMessages();

// The queue as message processing drains it.
struct PostedEngineMessage {
    void* window;
    uint32_t message;
    uintptr_t wParam;
    intptr_t lParam;
};

using PostedMessageHandler = void (*)(const PostedEngineMessage& message);
// Hands every message posted before the call to handler (messages posted
// meanwhile wait for the next pass); the number handled.
int DrainPostedEngineMessages(PostedMessageHandler handler);
void ClearPostedEngineMessages();

}  // namespace morpotta
