#include "menus/spoken_menu.h"

#include "platform/keys.h"

namespace zorvan {

void SpokenMenu::previous() {
    if (held()) return;
    if (behaviour_.wraps) {
        quiet();
        index_ = index_ <= 1 ? count_ : static_cast<std::int16_t>(index_ - 1);
        say(index_);
        return;
    }
    if (index_ <= 1) {
        index_ = 1;
        if (behaviour_.silenceAtEnd) quiet();
        return;
    }
    quiet();
    --index_;
    say(index_);
}

void SpokenMenu::next() {
    if (held()) return;
    if (behaviour_.wraps) {
        quiet();
        index_ = index_ >= count_ ? std::int16_t{1} : static_cast<std::int16_t>(index_ + 1);
        say(index_);
        return;
    }
    if (index_ >= count_) {
        index_ = count_;
        if (behaviour_.silenceAtEnd) quiet();
        return;
    }
    quiet();
    ++index_;
    say(index_);
}

void SpokenMenu::jumpTo(std::int16_t target) {
    if (held()) return;
    if (behaviour_.silenceOnJump) quiet();
    if (index_ == target) return;
    if (!behaviour_.silenceOnJump) quiet();
    index_ = target;
    say(index_);
}

void SpokenMenu::select() {
    if (held() || !choose) return;
    quiet();
    choose(index_);
}

void SpokenMenu::goBack() {
    if (!back) return;
    quiet();
    back();
}

bool SpokenMenu::keyDown(int keyCode) {
    if (otherKeys && otherKeys(keyCode)) return true;
    switch (keyCode) {
    case vk::Up: previous(); return true;
    case vk::Down: next(); return true;
    case vk::Home:
        if (!behaviour_.jumps) return false;
        jumpTo(1);
        return true;
    case vk::End:
        if (!behaviour_.jumps) return false;
        jumpTo(count_);
        return true;
    case vk::Enter:
        if (!choose) return false;
        select();
        return true;
    case vk::Escape:
    case vk::Left:
        if (!back) return false;
        goBack();
        return true;
    default: return false;
    }
}

}  // namespace zorvan
