#!/usr/bin/python3
"""listen: the figures of how the game sounds to a player.

  listen.py pack GAME                 per clip: loudness as heard, peak, DC, edges, tails, seams
  listen.py session GAME LOG [WAV]    one zorvan-sim recording: menus, races, approaching cars
  listen.py model GAME                every approach (car types, lanes, tick lengths) by the
                                      masking model, without a recording

Loudness is EBU R128 (libebur128), spectra come from numpy's FFT (pocketfft). A session is
re-mixed voice by voice from its event log and the pack, so each sound can be measured
alone; the recorded WAV, when given, checks that re-mix.
"""
import ctypes
import ctypes.util
import os
import re
import sys
import wave

import numpy as np

RATE = 48000  # zorvan-sim's mix rate
MS = RATE // 1000

# ---- EBU R128 through libebur128 ---------------------------------------------------------

_lib = ctypes.CDLL(ctypes.util.find_library("ebur128") or "libebur128.so.1")
_lib.ebur128_init.restype = ctypes.c_void_p
_lib.ebur128_init.argtypes = [ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
_lib.ebur128_add_frames_float.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_size_t]
_lib.ebur128_loudness_global.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_double)]
_lib.ebur128_loudness_range.argtypes = [ctypes.c_void_p, ctypes.POINTER(ctypes.c_double)]
_lib.ebur128_destroy.argtypes = [ctypes.POINTER(ctypes.c_void_p)]
MODE_I, MODE_LRA = 5, 11


def _measure(x, rate, mode, fn):
    x = np.ascontiguousarray(x, dtype=np.float32)
    if x.ndim == 1:
        x = x[:, None]
    if x.shape[1] == 1:
        x = np.repeat(x, 2, axis=1)  # a mono file is heard on both sides
    if x.shape[0] < int(0.4 * rate):  # shorter than one gating block: measured over 400 ms
        x = np.concatenate([x, np.zeros((int(0.4 * rate) - x.shape[0], x.shape[1]), np.float32)])
    st = ctypes.c_void_p(_lib.ebur128_init(x.shape[1], rate, mode))
    _lib.ebur128_add_frames_float(st, x.ctypes.data, x.shape[0])
    out = ctypes.c_double()
    fn(st, ctypes.byref(out))
    _lib.ebur128_destroy(ctypes.byref(st))
    return out.value if np.isfinite(out.value) else float("-inf")


def lufs(x, rate):
    return _measure(x, rate, MODE_I, _lib.ebur128_loudness_global)


def lra(x, rate):
    return _measure(x, rate, MODE_LRA, _lib.ebur128_loudness_range)


# ---- files ---------------------------------------------------------------------------------


def read_wav(path):
    with wave.open(path, "rb") as w:
        ch, width, rate, n = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()
        raw = w.readframes(n)
    if width == 2:
        x = np.frombuffer(raw, "<i2").astype(np.float32) / 32768.0
    else:
        x = (np.frombuffer(raw, np.uint8).astype(np.float32) - 128.0) / 128.0
    return x.reshape(-1, ch), rate


def manifest(game):
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "soundpack", "manifest.tsv")
    clips = []
    for line in open(path, encoding="utf-8"):
        if not line.strip() or line.startswith("#"):
            continue
        f = line.split(None, 4)
        clips.append((f[0], f[3], f[4].strip()))
    return clips


# How the game plays each clip: volume (hundredths of a dB) and speed. Everything else plays
# at volume 0 and its own rate.
def as_played(path, rate=44100):
    if path == "sounds/amb.wav":
        return 0, 44100.0 / rate, "bed"  # played at 44100 Hz, and up 1000 Hz a level
    if path in ("sounds/bad_enjen.wav", "sounds/bad_lego.wav", "sounds/brkon.wav"):
        return 0, 1.0, "overlay"
    if re.fullmatch(r"sounds/car/[1-4]\.wav", path):
        return -2000, 1.0, "engine"  # the player's own engine
    if path == "sounds/menu/music.wav":
        return 0, 1.0, "music"
    if re.match(r"sounds/misc/(c_hit|crash)", path) or path in ("sounds/car/carexplode.wav", "sounds/fallhole.wav",
                                                                 "sounds/tetriss/t_hit.wav"):
        return 0, 1.0, "crash"
    return 0, 1.0, None


LOOPED = {"sounds/menu/music.wav", "sounds/amb.wav", "sounds/car/1.wav", "sounds/car/2.wav", "sounds/car/3.wav",
          "sounds/car/4.wav", "sounds/bad_enjen.wav", "sounds/bad_lego.wav", "sounds/brkon.wav"}


def seam(x, rate):
    """How a loop meets itself: the jump at the wrap against the largest step elsewhere near
    it, and the high-frequency energy of the 10 ms around the wrap against the loop's own."""
    jump = float(np.max(np.abs(x[0] - x[-1])))
    near = rate // 200  # 5 ms each side, the wrap itself left out
    typical = float(max(np.abs(np.diff(x[-near:], axis=0)).max(), np.abs(np.diff(x[:near], axis=0)).max()))
    hf = np.diff(np.concatenate([x[-rate // 100:], x[: rate // 100]]), axis=0)
    seam_hf = 10 * np.log10(np.mean(hf ** 2) + 1e-20)
    whole = np.diff(x, axis=0)
    w = rate // 50
    blocks = (whole[: len(whole) // w * w] ** 2).reshape(-1, w, x.shape[1]).mean(axis=(1, 2))
    loop_hf = 10 * np.log10(np.percentile(blocks, 95) + 1e-20)
    return jump, typical, seam_hf - loop_hf


def tail_ms(x, rate, db=-60.0):
    quiet = np.abs(x).max(axis=1) < 10 ** (db / 20)
    loud = np.nonzero(~quiet)[0]
    return 1000.0 * (len(x) - 1 - loud[-1]) / rate if len(loud) else 1000.0 * len(x) / rate


def band_share(x, rate, lo):
    power = np.abs(np.fft.rfft(x.mean(axis=1))) ** 2
    f = np.fft.rfftfreq(len(x), 1 / rate)
    return float(power[f >= lo].sum() / max(power.sum(), 1e-20))


def fundamental(x, rate):
    m = x.mean(axis=1)[: rate]
    ac = np.fft.irfft(np.abs(np.fft.rfft(m, 2 * len(m))) ** 2)[: len(m)]
    lo, hi = rate // 400, rate // 20
    return rate / (lo + int(np.argmax(ac[lo:hi])))


def cmd_pack(game):
    print("clip\tkind\tLUFS_file\tLUFS_heard\tpeak\tDC\tfirst\tlast\ttail_ms\tseconds\tseam_jump\tstep_near\tseam_hf_dB")
    heard = {}
    for path, typ, recipe in manifest(game):
        x, rate = read_wav(os.path.join(game, path))
        vol, speed, kind = as_played(path, rate)
        kind = kind or ("speech" if typ == "speech" else "words+fx" if "say" in recipe else "effect")
        lf = lufs(x, rate)
        lh = lufs(x, int(rate * speed)) + vol / 100.0
        heard.setdefault(kind, []).append(lh)
        dc = float(np.abs(x.mean(axis=0)).max())
        row = [path, kind, f"{lf:.1f}", f"{lh:.1f}", f"{np.abs(x).max():.3f}", f"{dc:.4f}",
               f"{np.abs(x[0]).max():.3f}", f"{np.abs(x[-1]).max():.3f}", f"{tail_ms(x, rate):.0f}", f"{len(x) / rate:.2f}"]
        if path in LOOPED:
            j, t, h = seam(x, rate)
            row += [f"{j:.4f}", f"{t:.4f}", f"{h:+.1f}"]
        print("\t".join(row))
    print()
    print("kind\tclips\tLUFS_heard_min\tmedian\tmax")
    for k, v in sorted(heard.items()):
        print(f"{k}\t{len(v)}\t{min(v):.1f}\t{np.median(v):.1f}\t{max(v):.1f}")
    print()
    print("engine\tf0_Hz\tshare>1.5kHz\tshare>4kHz")
    for n in range(1, 5):
        x, rate = read_wav(os.path.join(game, f"sounds/car/{n}.wav"))
        print(f"car/{n}\t{fundamental(x, rate):.1f}\t{band_share(x, rate, 1500):.3f}\t{band_share(x, rate, 4000):.4f}")


# ---- re-mixing a session voice by voice ----------------------------------------------------

LINE = re.compile(r"^(\d+) (\w+) (\S+)(?: (\S+))? #(\d+)$")


class Voice:
    def __init__(self, path, clip, rate):
        self.path, self.clip, self.rate = path, clip, rate
        self.pos, self.playing, self.loop = 0.0, False, False
        self.vol, self.pan, self.freq = 0, 0, rate
        self.first_volume = None
        self.parts = []  # (start frame, stereo array)
        self.events = []  # (ms, event, arg)

    def gains(self):
        g = 0.0 if self.vol <= -10000 else 10 ** (self.vol / 2000)
        gl = g * (10 ** (-self.pan / 2000) if self.pan > 0 else 1.0)
        gr = g * (10 ** (self.pan / 2000) if self.pan < 0 else 1.0)
        return gl, gr

    def run(self, start, n):
        if not self.playing or n <= 0:
            return
        length = len(self.clip)
        step = min(max(self.freq, 100), 200000) / RATE
        idx = self.pos + step * np.arange(n)
        if self.loop:
            idx = np.mod(idx, length)
            self.pos = float((self.pos + step * n) % length)
        else:
            keep = idx < length
            idx = idx[keep]
            self.pos += step * n
            if self.pos >= length:
                self.playing, self.pos = False, 0.0
        i0 = np.floor(idx).astype(np.int64)
        frac = (idx - i0)[:, None]
        i1 = (i0 + 1) % length if self.loop else np.minimum(i0 + 1, length - 1)
        y = self.clip[i0] * (1 - frac) + self.clip[i1] * frac
        if y.shape[1] == 1:
            y = np.repeat(y, 2, axis=1)
        gl, gr = self.gains()
        if gl or gr:
            self.parts.append((start, (y * np.array([gl, gr], np.float32)).astype(np.float32)))


def remix(game, log_path):
    clips, voices, order = {}, {}, []
    events = []
    end_ms = 0
    for line in open(log_path, encoding="utf-8", errors="replace"):
        line = line.rstrip("\n")
        m = LINE.match(line)
        if m:
            events.append((int(m[1]), m[2], m[3], m[4], int(m[5])))
        else:
            t = line.split(" ", 2)
            if t[0].isdigit():
                end_ms = max(end_ms, int(t[0]))
                if len(t) > 2 and t[1] == "key":
                    events.append((int(t[0]), "key", t[2], None, 0))
    keys = []
    now = 0
    for ms, ev, path, arg, n in events:
        end_ms = max(end_ms, ms)
        if ms > now:
            for v in voices.values():
                v.run(now * MS, (ms - now) * MS)
            now = ms
        if ev == "key":
            keys.append((ms, int(path)))
            continue
        if ev == "load":
            if path not in clips:
                clips[path] = read_wav(os.path.join(game, path))
            x, rate = clips[path]
            voices[n] = Voice(path, x, rate)
            order.append(n)
            continue
        v = voices.get(n)
        if v is None:
            continue
        v.events.append((ms, ev, arg))
        if ev == "play":
            v.playing, v.loop = True, arg == "loop"
        elif ev == "stop":
            v.playing = False
        elif ev == "rewind":
            v.pos = 0.0
        elif ev == "end":
            v.playing, v.pos = False, 0.0
        elif ev == "release":
            v.playing = False
        elif ev == "volume":
            v.vol = int(arg)
            if v.first_volume is None:
                v.first_volume = v.vol
        elif ev == "pan":
            v.pan = int(arg)
        elif ev == "freq":
            v.freq = int(arg)
    for v in voices.values():
        v.run(now * MS, (end_ms - now) * MS)
    return [voices[n] for n in order], keys, end_ms


def stem(voices, a, b):
    """The sum of `voices` over frames a..b."""
    out = np.zeros((b - a, 2), np.float32)
    for v in voices:
        for start, y in v.parts:
            lo, hi = max(a, start), min(b, start + len(y))
            if lo < hi:
                out[lo - a: hi - a] += y[lo - start: hi - start]
    return out


def plays(voices, pattern):
    """(voice, start ms, end ms) for every play of a voice whose path matches."""
    out = []
    for v in voices:
        if not re.fullmatch(pattern, v.path):
            continue
        start = None
        for ms, ev, arg in v.events:
            if ev == "play" and start is None:
                start = ms
            elif ev in ("end", "stop", "release") and start is not None:
                out.append((v, start, ms))
                start = None
    return out


# ---- the masking model -----------------------------------------------------------------------
# A car is heard once, in the ear nearer to it, some third-octave band holds 3 dB more of it
# than of everything else together, or it moves the left/right balance of the whole by 3 dB,
# and that holds for 150 ms.

FRAME, HOP = 2048, 480  # 43 ms windows every 10 ms
CENTRES = 1000 * 2.0 ** (np.arange(-10, 14) / 3)  # 100 Hz .. 20 kHz
_freqs = np.fft.rfftfreq(FRAME, 1 / RATE)
_bands = [(_freqs >= c * 2 ** (-1 / 6)) & (_freqs < c * 2 ** (1 / 6)) for c in CENTRES if c * 2 ** (1 / 6) < RATE / 2]
BANDS = np.stack(_bands).astype(np.float32)  # bands x bins
HOLD = 15  # frames: 150 ms
FLOOR = 10 ** (-100 / 10)  # band energy a car needs at all


def band_energy(x):
    """Frames x 2 ears x bands."""
    n = max(0, (len(x) - FRAME) // HOP + 1)
    if n == 0:
        return np.zeros((0, 2, len(BANDS)), np.float32)
    idx = np.arange(FRAME)[None, :] + HOP * np.arange(n)[:, None]
    win = np.hanning(FRAME).astype(np.float32)
    out = np.empty((n, 2, len(BANDS)), np.float32)
    for ear in range(2):
        power = np.abs(np.fft.rfft(x[idx, ear] * win, axis=1)) ** 2
        out[:, ear, :] = power @ BANDS.T
    return out


def detected(car, rest, near):
    """Per frame: is the car heard? `car`, `rest`: frames x ears x bands energies."""
    c, r = car[:, near, :], rest[:, near, :]
    band = ((c > 2.0 * r) & (c > FLOOR)).any(axis=1)
    ct, rt = car.sum(axis=2), rest.sum(axis=2)
    bal_with = 10 * np.log10((ct[:, 0] + rt[:, 0] + 1e-20) / (ct[:, 1] + rt[:, 1] + 1e-20))
    bal_without = 10 * np.log10((rt[:, 0] + 1e-20) / (rt[:, 1] + 1e-20))
    return band | (np.abs(bal_with - bal_without) >= 3.0)


def first_held(det):
    run = 0
    for i, d in enumerate(det):
        run = run + 1 if d else 0
        if run >= HOLD:
            return i - HOLD + 1
    return None


def approaches(voices):
    """Computer cars: an engine voice that starts at -5000 and climbs until it arrives (its
    first step down, or its stop)."""
    out = []
    for v in voices:
        if not re.fullmatch(r"sounds/car/[1-4]\.wav", v.path) or v.first_volume == -2000:
            continue
        start, vol, ups = None, None, []
        for ms, ev, arg in v.events:
            if ev == "play" and start is None and v.vol is not None:
                start, ups = ms, []
            elif ev == "volume" and start is not None:
                nv = int(arg)
                if vol is not None and nv > vol:
                    ups.append(ms)
                elif vol is not None and nv < vol and ups:
                    out.append((v, start, ms, ups))
                    start = None
                vol = nv
                if nv == -5000:
                    vol = nv
            elif ev in ("stop", "release") and start is not None:
                if ups:
                    out.append((v, start, ms, ups))
                start = None
    return out


def player_engine(voices):
    return [v for v in voices if re.fullmatch(r"sounds/car/[1-4]\.wav", v.path) and v.first_volume == -2000]


def pan_at(v, ms):
    pan = 0
    for t, ev, arg in v.events:
        if t > ms:
            break
        if ev == "pan":
            pan = int(arg)
    return pan


def cmd_session(game, log_path, wav_path=None):
    voices, keys, end_ms = remix(game, log_path)
    name = os.path.basename(log_path)
    print(f"# {name}: {len(voices)} voices, {end_ms / 1000:.1f} s")
    if wav_path:
        rec, _ = read_wav(wav_path)
        mine = stem(voices, 0, len(rec))
        err = np.sqrt(np.mean((np.clip(mine, -1, 1) - rec) ** 2)) / (np.sqrt(np.mean(rec ** 2)) + 1e-12)
        print(f"re-mix against the recording: residual {20 * np.log10(err + 1e-12):.1f} dB")

    music = [v for v in voices if v.path == "sounds/menu/music.wav"]
    menus = {"main": r"sounds/menu/(m_p|m\d)\.wav", "car": r"sounds/menu/(c_p|c\d)\.wav",
             "difficulty": r"sounds/menu/(dp|d\d)\.wav", "theme": r"sounds/speech/(tetriss|arcade)_mode\.wav"}
    for menu, pattern in menus.items():
        ratios = []
        for v, a, b in plays(voices, pattern):
            if b - a < 100:
                continue
            s = stem([v], a * MS, b * MS)
            m = stem(music, a * MS, b * MS)
            if np.any(m):
                ratios.append(lufs(s, RATE) - lufs(m, RATE))
        if ratios:
            print(f"speech over music, {menu} menu: {np.median(ratios):+.1f} LU median, {min(ratios):+.1f} worst, "
                  f"{len(ratios)} prompts")

    # Races: from the start key (first play of the player's engine) to its last stop.
    engines = player_engine(voices)
    bed = [v for v in voices if v.path == "sounds/amb.wav"]
    crashes = [v for v in voices if re.fullmatch(r"sounds/misc/(c_hit|crash)\d\.wav|sounds/tetriss/t_hit\.wav", v.path)]
    for eng in engines:
        runs = [(a, b) for _, a, b in plays([eng], re.escape(eng.path)) if b - a > 5000]
        for a, b in runs:
            e = stem([eng], a * MS, b * MS)
            bd = stem(bed, a * MS, b * MS)
            le, lb = lufs(e, RATE), lufs(bd, RATE)
            mix = stem(voices, a * MS, b * MS)
            bed_txt = f"{lb - le:+.1f} LU" if np.isfinite(lb) else "no bed"
            line = f"race {eng.path} {a / 1000:.0f}-{b / 1000:.0f} s: bed - engine {bed_txt}, loudness range {lra(mix, RATE):.1f} LU"
            hits = [lufs(stem([v], x * MS, y * MS), RATE) for v, x, y in plays(crashes, r".*") if a <= x < b]
            if hits:
                ref = lb if np.isfinite(lb) else le
                line += f", crash - {'bed' if np.isfinite(lb) else 'engine'} {max(hits) - ref:+.1f} LU (loudest of {len(hits)})"
            print(line)

    rows = []
    for v, a, b, ups in approaches(voices):
        if len(ups) < 3:
            continue
        tick = int(np.median(np.diff(ups)))
        car = stem([v], a * MS, b * MS)
        rest = stem([w for w in voices if w is not v], a * MS, b * MS)
        ec, er = band_energy(car), band_energy(rest)
        pan = pan_at(v, b)
        near = 0 if pan < 0 else 1 if pan > 0 else int(ec[:, 1].sum() > ec[:, 0].sum())
        i = first_held(detected(ec, er, near))
        total = (b - a) / 1000
        heard = 0.0 if i is None else max(0.0, total - i * HOP / RATE)
        pl = [pan_at(e, b) for e in engines if any(x <= b <= y for _, x, y in plays([e], re.escape(e.path)))]
        lane = "same" if pl and pl[0] == pan else "other"
        rows.append((tick, lane, v.path, heard, total))
    if rows:
        print("approaching cars: tick_ms lane car heard_s_before_arrival approach_s share")
        for r in rows:
            print(f"  {r[0]} {r[1]} {r[2]} {r[3]:.2f} {r[4]:.2f} {r[3] / r[4]:.0%}")
        shares = [r[3] / r[4] for r in rows]
        print(f"approaching cars heard: {np.mean(shares):.0%} of the approach on average over {len(rows)} cars")
        for lane in ("same", "other"):
            s = [r[3] / r[4] for r in rows if r[1] == lane]
            if s:
                print(f"  {lane} lane: {np.mean(s):.0%} ({len(s)} cars)")


# ---- the model: every approach without a recording -----------------------------------------


def loop_at(x, rate, speed, offset_s, seconds):
    """A loop played at `speed` times its rate, from `offset_s` in, resampled to RATE."""
    n = int(seconds * RATE)
    idx = np.mod(offset_s * rate + np.arange(n) * (rate * speed / RATE), len(x))
    i0 = np.floor(idx).astype(np.int64)
    f = (idx - i0)[:, None]
    y = x[i0] * (1 - f) + x[(i0 + 1) % len(x)] * f
    return np.repeat(y, 2, axis=1) if y.shape[1] == 1 else y


def panned(y, pan):
    g = np.array([10 ** (-pan / 2000) if pan > 0 else 1.0, 10 ** (pan / 2000) if pan < 0 else 1.0], np.float32)
    return y * g


def cmd_model(game):
    ticks = [300, 260, 220, 180, 140, 100, 60]
    steps = 17  # -5000 to -200 by 300 a tick, then it arrives
    longest = max(ticks) * steps / 1000 + 0.2
    engines = [read_wav(os.path.join(game, f"sounds/car/{n}.wav")) for n in range(1, 5)]
    amb = read_wav(os.path.join(game, "sounds/amb.wav"))
    offsets = [0.0, 0.37, 0.81, 1.29]  # where the computer car's loop starts against the player's
    results = []
    for theme in ("tetriss", "arcade"):
        bed = loop_at(*amb, 44100.0 / amb[1], 0.0, longest) if theme == "tetriss" else None
        for p in range(4):
            for player_pan in (0, -9000):
                pe = panned(loop_at(*engines[p], 1.0, 0.0, longest), player_pan) * 10 ** (-2000 / 2000)
                rest = pe if bed is None else pe + bed
                er = band_energy(rest)
                for c in range(4):
                    for car_pan in (-9000, 0, 9000):
                        near = 0 if car_pan < 0 else 1 if car_pan > 0 else (0 if player_pan > 0 else 1)
                        for off in offsets:
                            ec1 = band_energy(panned(loop_at(*engines[c], 1.0, off, longest), car_pan))
                            t = np.arange(len(ec1)) * HOP / RATE + FRAME / 2 / RATE
                            for tick in ticks:
                                vol = -5000 + 300 * np.floor(t / (tick / 1000))
                                n = int(np.searchsorted(t, steps * tick / 1000))
                                g2 = (10 ** (vol[:n] / 1000)).astype(np.float32)[:, None, None]
                                i = first_held(detected(ec1[:n] * g2, er[:n], near))
                                total = steps * tick / 1000
                                heard = 0.0 if i is None else max(0.0, total - t[i] + FRAME / 2 / RATE)
                                lane = "same" if car_pan == player_pan else "other"
                                results.append((theme, p + 1, c + 1, lane, tick, heard / total))
    r = np.array([x[5] for x in results])
    print(f"approaches modelled: {len(results)} (2 themes x 4 player cars x 2 player lanes x 4 car types x 3 lanes "
          f"x {len(offsets)} loop offsets x {len(ticks)} tick lengths)")
    print(f"heard on average: {r.mean():.0%} of the approach")

    def by(key, label):
        vals = sorted({x[key] for x in results})
        print(f"by {label}: " + ", ".join(
            f"{v}: {np.mean([x[5] for x in results if x[key] == v]):.0%}" for v in vals))
    by(0, "theme")
    by(3, "lane")
    by(4, "tick ms")
    by(2, "car type")
    same = [x[5] for x in results if x[1] == x[2] and x[3] == "same"]
    print(f"a car of the player's own type in the player's lane: {np.mean(same):.0%}")
    for tick in (300, 60):
        s = [x[5] for x in results if x[4] == tick]
        print(f"  at {tick} ms ticks: heard {np.mean(s) * steps * tick / 1000:.2f} s before arrival on average")


def main(argv):
    if len(argv) >= 3 and argv[1] == "pack":
        cmd_pack(argv[2])
    elif len(argv) >= 4 and argv[1] == "session":
        cmd_session(argv[2], argv[3], argv[4] if len(argv) > 4 else None)
    elif len(argv) >= 3 and argv[1] == "model":
        cmd_model(argv[2])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
