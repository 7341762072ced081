// The whole game on the real platform (SDL's dummy video and audio drivers), played with a
// virtual gamepad alone: through the menus into a race, the car started, a lane changed with
// the stick, paused with Start; the pad pulled out and plugged in again mid-race. With a
// remapped key map the buttons press the new keys.
#include <SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include "game/main_form.h"
#include "menus/key_map.h"
#include "platform/keys.h"
#include "platform/sdl/sdl_platform.h"
#include "support/game_folder.h"

namespace zorvan {
namespace {

using namespace std::chrono_literals;

// Presses on a virtual game controller; SDL turns its state changes into controller events
// for the game's own pump.
class VirtualPad {
public:
    VirtualPad() { attach(); }
    ~VirtualPad() { detach(); }

    void attach() {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                                    SDL_CONTROLLER_BUTTON_MAX, 0);
        ASSERT_GE(index, 0) << SDL_GetError();
        joystick_ = SDL_JoystickOpen(index);
        ASSERT_NE(joystick_, nullptr) << SDL_GetError();
    }
    void detach() {
        if (!joystick_) return;
        const SDL_JoystickID id = SDL_JoystickInstanceID(joystick_);
        SDL_JoystickClose(joystick_);
        joystick_ = nullptr;
        for (int i = 0; i < SDL_NumJoysticks(); ++i)
            if (SDL_JoystickGetDeviceInstanceID(i) == id) SDL_JoystickDetachVirtual(i);
    }
    void press(SDL_GameControllerButton button) {
        SDL_JoystickSetVirtualButton(joystick_, button, SDL_PRESSED);
        std::this_thread::sleep_for(60ms);
        SDL_JoystickSetVirtualButton(joystick_, button, SDL_RELEASED);
        std::this_thread::sleep_for(60ms);
    }
    void stick(SDL_GameControllerAxis axis, Sint16 value) {
        SDL_JoystickSetVirtualAxis(joystick_, axis, value);
        std::this_thread::sleep_for(60ms);
    }

private:
    SDL_Joystick* joystick_ = nullptr;
};

class GamepadEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        ::setenv("SDL_VIDEODRIVER", "dummy", 1);
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        // The dummy window never has the keyboard focus, without which SDL drops pad input.
        ::setenv("SDL_JOYSTICK_ALLOW_BACKGROUND_EVENTS", "1", 1);
        ::setenv("XDG_DATA_HOME", (folder_.settings() / "data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", folder_.settings().c_str(), 1);
    }

    // Runs the game until `drive` (on a thread of its own) is done, then closes the window.
    // Returns the event log.
    std::string play(const KeyCodes& keys, const std::function<void(VirtualPad&)>& drive) {
        const std::string keysDat = formatKeysFile(keys);
        folder_.write("keys.dat", keysDat);
        const auto data = folder_.settings() / "data" / "zorvan";
        std::filesystem::create_directories(data);
        for (const char* name : {"keys.dat", "config.dat", "ls.dat", "stats.txt"})
            std::filesystem::copy_file(folder_.game() / name, data / name,
                                       std::filesystem::copy_options::overwrite_existing);

        SdlOptions options;
        options.programFolder = folder_.game();
        options.logPath = folder_.settings() / "run.log";
        options.record = false;
        auto platform = makeSdlPlatform(options);
        {
            VirtualPad pad;
            std::thread driver([&] {
                std::this_thread::sleep_for(1500ms);  // start-up into the main menu
                drive(pad);
                SDL_Event quit{};
                quit.type = SDL_QUIT;
                SDL_PushEvent(&quit);
            });
            MainForm form(*platform);
            try {
                form.run();
            } catch (const ProgramEnd&) {
            }
            driver.join();
            paused_ = form.race.pause;
            racing_ = form.race.game;
            lane_ = form.player ? form.player->position : -99;
        }
        std::ifstream in(options.logPath);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }

    // Through the main, car and difficulty menus with A; the prompts are short tones here.
    static void intoARace(VirtualPad& pad) {
        for (int i = 0; i < 3; ++i) {
            pad.press(SDL_CONTROLLER_BUTTON_A);
            std::this_thread::sleep_for(900ms);
        }
    }

    static bool logged(const std::string& log, const std::string& event) {
        return log.find(" " + event + "\n") != std::string::npos;
    }
    // The order of two events in the log (both present, the first before the second).
    static bool before(const std::string& log, const std::string& first, const std::string& second) {
        const auto a = log.find(" " + first + "\n");
        return a != std::string::npos && log.find(" " + second + "\n", a) != std::string::npos;
    }

    test::GameFolder folder_{test::GameFolder::Sounds::Generated};
    bool paused_ = false, racing_ = false;
    int lane_ = 0;
};

TEST_F(GamepadEndToEnd, ButtonsAloneStartARaceSteerAndPauseAcrossAPadPulledOutAndBack) {
    const std::string log = play(kDefaultKeys, [](VirtualPad& pad) {
        intoARace(pad);
        pad.press(SDL_CONTROLLER_BUTTON_DPAD_UP);  // the car starts
        std::this_thread::sleep_for(300ms);
        // The stick pushed right, wobbling over its threshold: one lane, not two.
        pad.stick(SDL_CONTROLLER_AXIS_LEFTX, 20000);
        pad.stick(SDL_CONTROLLER_AXIS_LEFTX, 15000);
        pad.stick(SDL_CONTROLLER_AXIS_LEFTX, 26000);
        pad.stick(SDL_CONTROLLER_AXIS_LEFTX, 0);
        pad.detach();
        pad.attach();
        std::this_thread::sleep_for(200ms);
        pad.press(SDL_CONTROLLER_BUTTON_START);  // pause
        std::this_thread::sleep_for(300ms);
    });
    EXPECT_TRUE(before(log, "key 13", "key 38")) << log;
    EXPECT_TRUE(before(log, "key 38", "key 39")) << log;
    EXPECT_TRUE(before(log, "key 39", "key 80")) << log;
    EXPECT_EQ(log.find(" key 39\n", log.find(" key 39\n") + 1), std::string::npos) << "one press per push\n" << log;
    EXPECT_TRUE(racing_);
    EXPECT_TRUE(paused_);
    EXPECT_EQ(lane_, 3);
}

TEST_F(GamepadEndToEnd, ARemappedKeyMapMovesTheButtonsWithIt) {
    KeyCodes keys = kDefaultKeys;
    keys[0] = 'W';   // kstart
    keys[10] = 'Q';  // kpause
    const std::string log = play(keys, [](VirtualPad& pad) {
        intoARace(pad);
        pad.press(SDL_CONTROLLER_BUTTON_DPAD_UP);
        std::this_thread::sleep_for(300ms);
        pad.press(SDL_CONTROLLER_BUTTON_DPAD_RIGHT);
        std::this_thread::sleep_for(200ms);
        pad.press(SDL_CONTROLLER_BUTTON_START);
        std::this_thread::sleep_for(300ms);
    });
    // The menus still moved with the fixed keys; the race got the map's.
    EXPECT_TRUE(before(log, "key 13", "key 87")) << log;
    EXPECT_TRUE(before(log, "key 87", "key 39")) << log;
    EXPECT_TRUE(before(log, "key 39", "key 81")) << log;
    EXPECT_FALSE(logged(log, "key 80")) << log;
    EXPECT_FALSE(logged(log, "key 38")) << log;
    EXPECT_TRUE(paused_);
    EXPECT_EQ(lane_, 3);
}

}  // namespace
}  // namespace zorvan
