// The posted-message queue as message processing drains it.
#pragma once
#include <cstdint>

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
