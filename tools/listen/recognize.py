#!/usr/bin/python3
"""Every phrase of the pack is recognized by pocketsphinx constrained to the pack's own phrases.

  recognize.py MANIFEST GAME-FOLDER [PATH-REGEX]

With PATH-REGEX only the clips whose path it matches are decoded (the grammar stays the whole
pack's).

Every clip with words is decoded against a grammar of one or more of the pack's phrases (no other
words, no clip-by-clip settings). A spoken clip (type speech) is decoded whole, and what is heard
must be its phrases, nothing more. A clip that joins words and sounds (type effect: the learning
clips, jingles, the speaker test) is decoded stretch by stretch, split where it falls silent for
200 ms (digital silence, as the pack's gaps are: the voice's own pauses carry its breath and do
not split); its phrases must be heard whole, in order and next to each other. The decoder knows no
sound but words, so it names the sounds of such a clip with some of the pack's words: those are
shown, not counted. Splitting keeps a sound out of the words' stretch, where its spectrum would
shift the decoder's normalisation of the whole utterance (the words alone are heard right, the
words followed by a crash are not). Prints the misses and the counts; fails on a miss.
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


PAUSE_S = 0.2  # a digital silence this long splits a clip with sounds
SILENT = 2     # at most 2 of 32768 (-84 dBFS)
RATE = 16000   # the acoustic model's rate


def stretches(x, rate):
    """The stretches of `x` (samples at `rate`) between pauses of PAUSE_S or more."""
    quiet = np.abs(x) <= SILENT
    out, start, run = [], None, 0
    for i, q in enumerate(quiet):
        if q:
            run += 1
            if start is not None and run == int(PAUSE_S * rate):
                out.append(x[start:i - run + 1])
                start = None
        else:
            if start is None:
                start = i
            run = 0
    if start is not None:
        out.append(x[start:])
    return out


def to_model_rate(x, rate):
    g = np.gcd(rate, RATE)
    return resample_poly(x, RATE // g, rate // g)


def main(manifest, game, only=None):
    clips = []  # (path, the words it says in order)
    phrases = set()
    for line in open(manifest, encoding="utf-8"):
        if not line.strip() or line.startswith("#"):
            continue
        path, _, _, kind, recipe = line.split(None, 4)
        said = [" ".join(words(m.group(1))) for m in re.finditer(r"say(?:\[[^\]]*\])?:(.*?)(?= \+ |$)", recipe.strip())]
        if said:
            clips.append((path, said, kind))
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
        # Wide beams: the search keeps every path worth keeping rather than the fastest few.
        config.set_float("-beam", 1e-80)
        config.set_float("-pbeam", 1e-80)
        config.set_float("-wbeam", 1e-60)
        misses, numbers, numbers_ok = [], 0, 0
        def decode(y):
            pad = np.zeros(RATE // 5)  # room around the words
            y = np.concatenate([pad, y, pad])
            # A decoder of its own for every utterance: what one leaves in the decoder's state must
            # not decide how the next is heard.
            decoder = Decoder(config)
            decoder.start_utt()
            decoder.process_raw(np.clip(y, -32768, 32767).astype("<i2").tobytes(), False, True)
            decoder.end_utt()
            return decoder.hyp().hypstr if decoder.hyp() else ""

        misses, numbers, numbers_ok, whole = [], 0, 0, 0
        if only:
            clips = [c for c in clips if re.search(only, c[0])]
        for path, said, kind in clips:
            with wave.open(os.path.join(game, path), "rb") as w:
                rate, ch = w.getframerate(), w.getnchannels()
                x = np.frombuffer(w.readframes(w.getnframes()), "<i2").astype(np.float64).reshape(-1, ch).mean(axis=1)
            want = " ".join(said)
            if kind == "speech":
                hyp = decode(to_model_rate(x, rate))
                ok = hyp == want
            else:
                hyp = " | ".join(decode(to_model_rate(part, rate)) for part in stretches(x, rate))
                heard = " ".join(hyp.replace("|", " ").split())
                ok = f" {want} " in f" {heard} "
            whole += hyp == want
            is_number = path.startswith("sounds/numbers/")
            numbers += is_number
            if ok:
                numbers_ok += is_number
                if hyp != want:
                    print(f"heard {path}: \"{want}\" in \"{hyp}\"")
            else:
                misses.append(f"{path}: \"{want}\" heard as \"{hyp}\"")
    for m in misses:
        print("missed", m)
    print(f"clips with words recognized: {len(clips) - len(misses)} of {len(clips)} ({len(phrases)} distinct phrases); "
          f"number words: {numbers_ok} of {numbers}; heard with nothing else: {whole} of {len(clips)}")
    return 1 if misses else 0


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:4]))
