#pragma once
// One spoken menu: a list of entries, each heard as a clip. Up and Down move and say the new
// entry, Home and End jump to the ends, Enter chooses and Escape or Left goes back. What the
// entries sound like and what choosing does belong to the menu's owner and come as callbacks;
// the index and the count are the owner's fields, so the names the rest of the game reads stay.
//
// The open menu is kept by a MenuStack: the key handler gives it every key the race leaves.

#include <cstdint>
#include <functional>

namespace zorvan {

class SpokenMenu {
public:
    struct Behaviour {
        bool wraps = false;  // past the last entry to the first and back
        bool jumps = true;   // Home and End
        // Up or Down at an end that does not wrap still silences the entry sounding.
        bool silenceAtEnd = false;
        // Home or End on the entry already there still silences it.
        bool silenceOnJump = false;
    };

    // heldBy: while it points at true, moving and choosing do nothing (a clip is being played
    // to its end); nullptr for a menu that is never held.
    SpokenMenu(std::int16_t& index, const std::int16_t& count, const bool* heldBy, Behaviour behaviour)
        : index_(index), count_(count), heldBy_(heldBy), behaviour_(behaviour) {}
    SpokenMenu(const SpokenMenu&) = delete;
    SpokenMenu& operator=(const SpokenMenu&) = delete;

    std::function<void(std::int16_t)> speak;   // plays entry n (from 1)
    std::function<void()> silence;             // stops whatever the menu is saying
    std::function<void(std::int16_t)> choose;  // Enter, once the menu is silenced; none: not taken
    std::function<void()> back;                // Escape or Left, once silenced; none: not taken
    // Has the first look at every key; true when it took it.
    std::function<bool(int)> otherKeys;

    void previous();
    void next();
    void jumpTo(std::int16_t target);
    void select();
    void goBack();
    // True when the menu took the key.
    bool keyDown(int keyCode);

    std::int16_t index() const { return index_; }
    std::int16_t count() const { return count_; }

private:
    bool held() const { return heldBy_ && *heldBy_; }
    void quiet() {
        if (silence) silence();
    }
    void say(std::int16_t entry) {
        if (speak) speak(entry);
    }

    std::int16_t& index_;
    const std::int16_t& count_;
    const bool* heldBy_;
    Behaviour behaviour_;
};

// The menu that has the keyboard. The menus hand over to one another (a choice opens the next
// menu, Back opens the one it came from), so opening a menu takes the place of the one on top:
// two menus are never open at once. Empty during a race and while a clip plays with no menu
// listening.
class MenuStack {
public:
    void open(SpokenMenu& menu) { top_ = &menu; }
    // Only when it is the one open; another menu opened meanwhile stays.
    void close(const SpokenMenu& menu) {
        if (top_ == &menu) top_ = nullptr;
    }
    void closeAll() { top_ = nullptr; }

    bool isOpen(const SpokenMenu& menu) const { return top_ == &menu; }
    bool empty() const { return top_ == nullptr; }
    int size() const { return top_ ? 1 : 0; }
    SpokenMenu* top() const { return top_; }

    // Gives the key to the menu on top; false when none is open or it left the key.
    bool keyDown(int keyCode) { return top_ && top_->keyDown(keyCode); }

private:
    SpokenMenu* top_ = nullptr;
};

}  // namespace zorvan
