#include "app/link_retry.h"

#include <iterator>

namespace {
constexpr int Pauses[] = {1, 2, 5, 10, 30};
}

LinkRetry::LinkRetry(QObject *parent) : QObject(parent) {
    timer.setInterval(1000);
    connect(&timer, &QTimer::timeout, this, &LinkRetry::Tick);
}

int LinkRetry::PauseSeconds(int failedTries) {
    const int last = int(std::size(Pauses)) - 1;
    return Pauses[failedTries < 0 ? 0 : (failedTries > last ? last : failedTries)];
}

void LinkRetry::Start() {
    active = true;
    failed = 0;
    StartPause();
}

void LinkRetry::Failed() {
    if (!active)
        return;
    ++failed;
    StartPause();
}

void LinkRetry::Stop() {
    active = false;
    failed = 0;
    secondsLeft = 0;
    timer.stop();
}

void LinkRetry::StartPause() {
    secondsLeft = PauseSeconds(failed);
    timer.start();
    emit Waiting(secondsLeft);
}

void LinkRetry::Tick() {
    if (!active)
        return;
    --secondsLeft;
    if (secondsLeft > 0) {
        emit Waiting(secondsLeft);
        return;
    }
    timer.stop();
    emit Attempt();
}
