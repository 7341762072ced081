#!/usr/bin/python3
"""Every phrase of the pack is recognized by pocketsphinx constrained to the pack's own phrases.

  recognize.py MANIFEST GAME-FOLDER

Every clip with words is decoded whole (jingles with their music) against a grammar of one or
more of the pack's phrases; the hypothesis must be the clip's own phrases in order. Prints the misses and the counts; fails on a miss.
"""
import os
import re
import sys
import tempfile
import wave

import numpy as np
from scipy.signal import resample_poly
from pocketsphinx import get_model_path
from pocketsphinx.pocketsphinx import Decoder

# Names the dictionary lacks, as the pack says them.
EXTRA = {"kestreen": "K EH S T R IY N", "tetris": "T EH T R IH S", "zorvan": "Z AO R V AH N"}


def words(text):
    return re.findall(r"[a-z']+", text.lower())


def main(manifest, game):
    clips = []  # (path, the words it says in order)
    phrases = set()
    for line in open(manifest, encoding="utf-8"):
        if not line.strip() or line.startswith("#"):
            continue
        path, _, _, kind, recipe = line.split(None, 4)
        said = [" ".join(words(m.group(1))) for m in re.finditer(r"say(?:\[[^\]]*\])?:(.*?)(?= \+ |$)", recipe.strip())]
        if said:
            clips.append((path, said))
            phrases.update(said)
    model = get_model_path()
    vocab = sorted({w for p in phrases for w in p.split()})
    cmu = {}
    for line in open(os.path.join(model, "cmudict-en-us.dict"), encoding="utf-8"):
        w, pron = line.split(None, 1)
        cmu.setdefault(w, pron.strip())
    with tempfile.TemporaryDirectory() as tmp:
        dic = os.path.join(tmp, "pack.dict")
        with open(dic, "w") as f:
            for w in vocab:
                f.write(f"{w} {EXTRA.get(w) or cmu[w]}\n")
        gram = os.path.join(tmp, "pack.gram")
        with open(gram, "w") as f:
            f.write("#JSGF V1.0;\ngrammar pack;\n<one> = " + " | ".join(f"( {p} )" for p in sorted(phrases)) +
                    ";\npublic <said> = <one>+;\n")
        config = Decoder.default_config()
        config.set_string("-hmm", os.path.join(model, "en-us"))
        config.set_string("-dict", dic)
        config.set_string("-jsgf", gram)
        config.set_string("-logfn", os.devnull)
        misses, numbers, numbers_ok = [], 0, 0
        for path, said in clips:
            with wave.open(os.path.join(game, path), "rb") as w:
                rate, ch = w.getframerate(), w.getnchannels()
                x = np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float64).reshape(-1, ch).mean(axis=1)
            g = np.gcd(rate, 16000)
            y = resample_poly(x, 16000 // g, rate // g)
            pad = np.zeros(3200)  # room around the words
            y = np.concatenate([pad, y, pad])
            # A decoder of its own for every clip: what one clip leaves in the decoder's state must not
            # decide how the next is heard.
            decoder = Decoder(config)
            decoder.start_utt()
            decoder.process_raw(np.clip(y, -32768, 32767).astype("<i2").tobytes(), False, True)
            decoder.end_utt()
            hyp = decoder.hyp().hypstr if decoder.hyp() else ""
            want = " ".join(said)
            is_number = path.startswith("sounds/numbers/")
            numbers += is_number
            if hyp == want:
                numbers_ok += is_number
            else:
                misses.append(f"{path}: \"{want}\" heard as \"{hyp}\"")
    for m in misses:
        print("missed", m)
    print(f"clips with words recognized: {len(clips) - len(misses)} of {len(clips)} ({len(phrases)} distinct phrases); "
          f"number words: {numbers_ok} of {numbers}")
    return 1 if misses else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2]))
