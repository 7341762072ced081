#include "sound/number_system.h"

#include "platform/ports.h"

namespace zorvan {

namespace {

// A queue entry is a whole path when it has a separator after its first character.
bool isPath(std::string_view entry) {
    return entry.size() > 1 && entry.find_first_of("/\\", 1) != std::string_view::npos;
}

}  // namespace

void NumberSystem::queueClip(std::string_view entry) {
    if (count_ >= kQueueSize) return;  // nothing that speaks a number needs more
    said_[count_].reset();
    queue_[count_++] = std::string(entry);
}

void NumberSystem::dropFirstClip() {
    if (count_ == 0) return;
    for (int i = 0; i + 1 < count_; ++i) {
        queue_[i] = std::move(queue_[i + 1]);
        said_[i] = std::move(said_[i + 1]);
    }
    --count_;
}

std::string NumberSystem::pathOf(std::string_view entry) const {
    std::string path = isPath(entry) ? std::string(entry) : "sounds/numbers/" + std::string(entry) + ".wav";
    // A whole path may have come from programPath(): make it relative to the folder again.
    const std::string root = sound_.platform().files().absolutePath("");
    if (path.rfind(root, 0) == 0) path.erase(0, root.size());
    return path;
}

std::string NumberSystem::phraseOfQueue() const {
    std::string phrase;
    for (int i = 0; i < count_; ++i) {
        const std::string words = said_[i] ? *said_[i] : sound_.voice.wordsOf(pathOf(queue_[i]));
        if (words.empty()) continue;
        if (!phrase.empty()) phrase += ' ';
        phrase += words;
    }
    return phrase;
}

void NumberSystem::playFirst() {
    const std::string path = pathOf(queue_[0]);
    numberClip_.reset();
    numberClip_ = sound_.loadWave(path);
    if (sound_.voice.on()) {
        if (phraseLeft_ > 0) {
            numberClip_->speakAs("");
            --phraseLeft_;
        } else {
            numberClip_->speakAs(phraseOfQueue());
            phraseLeft_ = count_ - 1;
        }
    }
    numberClip_->play(false);
    dropFirstClip();
}

void NumberSystem::numberSpeechTick() {
    if (count_ == 0) return;
    if (!numberClipCreated_) {
        numberClipCreated_ = true;
        playFirst();
    }
    if (count_ > 0 && !numberClip_->isPlaying()) playFirst();
}

bool NumberSystem::speaking() const {
    return count_ > 0 || (numberClip_ && numberClip_->isPlaying());
}

void NumberSystem::stopNumberSpeech() {
    if (!numberClip_) return;
    count_ = 0;
    phraseLeft_ = 0;
    numberClip_->stop();
}

void NumberSystem::waitForNumberSpeech() {
    if (!numberClipCreated_ && count_ == 0) return;
    do {
        numberSpeechTick();
        sound_.loop().pump();
    } while (speaking());
}

char NumberSystem::takeDigit() {
    char d = numberDigits_.empty() ? '0' : numberDigits_.front();
    if (!numberDigits_.empty()) numberDigits_.erase(0, 1);
    return d;
}

void NumberSystem::sayUnits() {
    char d = takeDigit();
    if (d != '0') queueClip(std::string(1, d));
}

void NumberSystem::sayTens() {
    char t = takeDigit();
    char u = numberDigits_.empty() ? '0' : numberDigits_.front();
    if (t == '1') {
        queueClip(std::string{t, u});
        takeDigit();
        return;
    }
    if (t != '0') queueClip(std::string{t, '0'});
    sayUnits();
}

void NumberSystem::sayHundreds() {
    if (numberDigits_.front() == '0') {
        takeDigit();
    } else {
        sayUnits();
        queueClip("hundred");
    }
    sayTens();
}

// Says the leading group of `digits` digits (1 to 3) followed by `word`, or nothing at all
// when the group is all zeros.
void NumberSystem::sayGroup(int digits, std::string_view word) {
    const std::string zeros(static_cast<std::size_t>(digits), '0');
    if (numberDigits_.compare(0, zeros.size(), zeros) == 0) {
        numberDigits_.erase(0, zeros.size());
        return;
    }
    if (digits == 1) sayUnits();
    if (digits == 2) sayTens();
    if (digits == 3) sayHundreds();
    queueClip(word);
}

void NumberSystem::sayThousands(int digits) {
    sayGroup(digits, "thousand");
    sayHundreds();
}

void NumberSystem::sayMillions(int digits) {
    sayGroup(digits, "million");
    sayThousands(3);
}

void NumberSystem::speakNumber(std::int32_t value, bool digitByDigit) {
    if (value < 0) return;  // the callers never pass one; nothing sensible to say
    const int first = count_;
    speakNumberClips(value, digitByDigit);
    // The system speech says the number whole, on its first clip.
    if (first < count_) {
        std::string whole = std::to_string(value);
        if (digitByDigit)
            for (std::size_t i = whole.size() - 1; i > 0; --i) whole.insert(i, 1, ' ');
        said_[first] = whole;
        for (int i = first + 1; i < count_; ++i) said_[i] = std::string();
    }
}

void NumberSystem::speakNumberClips(std::int32_t value, bool digitByDigit) {
    numberDigits_ = std::to_string(value);
    if (numberDigits_ == "0") {
        queueClip("0");
        return;
    }
    if (digitByDigit) {
        for (char c : numberDigits_) queueClip(std::string(1, c));
        numberDigits_.clear();
        return;
    }
    switch (numberDigits_.size()) {
        case 1: sayUnits(); break;
        case 2: sayTens(); break;
        case 3: sayHundreds(); break;
        case 4: sayThousands(1); break;
        case 5: sayThousands(2); break;
        case 6: sayThousands(3); break;
        case 7: sayMillions(1); break;
        case 8: sayMillions(2); break;
        default: break;  // nine digits or more are not spoken
    }
    numberDigits_.clear();
}

}  // namespace zorvan
