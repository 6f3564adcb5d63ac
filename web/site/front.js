// What both pages share: loading the module, the front object the session
// calls (timers, sound, the world outside), keys, and the canvas that shows
// the view in the desktop window's design.

const WAIT = 2;   // the fall (0) and drop (1) timers repeat; the wait fires once
const SHOW_NOW = 2048;
const WELL = [291, 19, 218, 559];
const CELL = 31;

// ---- The page ----------------------------------------------------------------------

export function showMessage(text) {
  const box = document.getElementById('message');
  if (box) box.textContent = String(text).replace(/\r\n/g, '\n');
}

export function setState(state) {
  document.body.dataset.state = state;
}

export function fail(text) {
  setState('error');
  showMessage(text);
}

// ---- Strings and bytes into the module ------------------------------------------------

export function withString(module, text, use) {
  const size = module.lengthBytesUTF8(text) + 1;
  const at = module._malloc(size);
  try {
    module.stringToUTF8(text, at, size);
    return use(at);
  } finally {
    module._free(at);
  }
}

export function withBytes(module, bytes, use) {
  const at = module._malloc(Math.max(1, bytes.length));
  try {
    module.HEAPU8.set(bytes, at);
    return use(at, bytes.length);
  } finally {
    module._free(at);
  }
}

// ---- Keys: the Windows virtual-key codes the session knows -----------------------------

const NAMED_KEYS = {
  Enter: 13, NumpadEnter: 13, Space: 32, Escape: 27, PageUp: 33, PageDown: 34, End: 35, Home: 36,
  ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40, Insert: 45, Delete: 46,
  AltLeft: 18, AltRight: 18, ShiftLeft: 16, ShiftRight: 16, ControlLeft: 17, ControlRight: 17,
  // Without a code (some virtual keyboards), by the key's name.
  ' ': 32, Alt: 18, Shift: 16, Control: 17,
};
// Keys the game acts on whose browser meaning must not happen as well;
// other F keys, Home, End and the rest keep theirs.
const KEPT_BY_BROWSER = new Set([16, 17, 33, 35, 36, 45, 46, 113, 114, 115, 116, 117, 118, 119, 120]);

export function virtualKey(event) {
  const code = event.code || '';
  if (code in NAMED_KEYS) return NAMED_KEYS[code];
  let match;
  if ((match = /^Key([A-Z])$/.exec(code))) return match[1].charCodeAt(0);
  if ((match = /^Digit(\d)$/.exec(code))) return 48 + Number(match[1]);
  if ((match = /^Numpad(\d)$/.exec(code))) return 96 + Number(match[1]);
  if ((match = /^F(\d+)$/.exec(code)) && Number(match[1]) <= 10) return 111 + Number(match[1]);
  if (code) return 0;
  const key = event.key || '';
  if (key in NAMED_KEYS) return NAMED_KEYS[key];
  if (/^[a-z0-9]$/i.test(key)) return key.toUpperCase().charCodeAt(0);
  return 0;
}

// The key as the session gets it, or 0 for one that is the browser's.
export function gameKey(event) {
  const vk = virtualKey(event);
  if (!vk || ((event.ctrlKey || event.metaKey) && vk !== 17)) return 0;
  if (!KEPT_BY_BROWSER.has(vk)) event.preventDefault();
  return vk;
}

// ---- Loading -----------------------------------------------------------------------------

export async function loadModule(front) {
  if (typeof WebAssembly !== 'object') {
    fail('This browser cannot run WebAssembly, which the game needs.');
    return null;
  }
  if (typeof globalThis.Vantorix2 !== 'function') {
    fail('The game could not be loaded: vantorix2.js is missing or broken.');
    return null;
  }
  try {
    const module = await globalThis.Vantorix2({
      front,
      print: (text) => console.log(text),
      printErr: (text) => console.warn(text),
      onAbort: (what) => front.aborted(what),
    });
    front.attach(module);
    return module;
  } catch (error) {
    fail(`The game could not be loaded: ${error?.message ?? error}`);
    return null;
  }
}

// ---- Sound ---------------------------------------------------------------------------------

// The length of a WAV file's samples, read from its header.
function waveMilliseconds(bytes) {
  const data = new DataView(bytes);
  if (data.byteLength < 12 || data.getUint32(0) !== 0x52494646) return 0;   // "RIFF"
  let byteRate = 0;
  for (let at = 12; at + 8 <= data.byteLength;) {
    const id = data.getUint32(at), size = data.getUint32(at + 4, true);
    if (id === 0x666d7420 && size >= 12) byteRate = data.getUint32(at + 16, true);   // "fmt "
    if (id === 0x64617461)   // "data"
      return byteRate ? Math.ceil((Math.min(size, data.byteLength - at - 8) * 1000) / byteRate) : 0;
    at += 8 + size + (size & 1);
  }
  return 0;
}

class Sound {
  constructor() {
    this.context = null;
    this.waves = new Map();   // resource name → {ms, bytes, buffer}
    this.queueEnd = 0;        // on the context's clock
    this.muted = false;
  }

  load(names) {
    return Promise.all(names.map(async (name) => {
      try {
        const answer = await fetch(`${name}.wav`);
        if (!answer.ok) return;
        const bytes = await answer.arrayBuffer();
        const wave = { ms: waveMilliseconds(bytes), bytes, buffer: null };
        this.waves.set(name, wave);
        this.decode(wave);
      } catch (error) {
        console.warn(`No sound ${name}:`, error);
      }
    }));
  }

  // Browsers let sound start only from a gesture of the player's.
  unlock() {
    if (this.context) {
      if (this.context.state === 'suspended') this.context.resume().catch(() => {});
      return;
    }
    try {
      this.context = new AudioContext();
    } catch {
      return;
    }
    for (const wave of this.waves.values()) this.decode(wave);
  }

  decode(wave) {
    if (!this.context || !wave.bytes) return;
    const bytes = wave.bytes;
    wave.bytes = null;
    this.context.decodeAudioData(bytes).then((buffer) => { wave.buffer = buffer; }, () => {});
  }

  play(kind, resource, frequency, ms, queued) {
    const wave = kind === 0 ? this.waves.get(String(resource).replace(/^:\//, '')) : null;
    const length = kind === 0 ? (wave?.ms ?? 0) : ms;
    const context = this.context;
    if (context && context.state === 'running' && !this.muted) {
      const at = queued ? Math.max(context.currentTime, this.queueEnd) : context.currentTime;
      if (wave?.buffer) {
        const source = context.createBufferSource();
        source.buffer = wave.buffer;
        source.connect(context.destination);
        source.start(at);
      } else if (kind === 1 && frequency > 0 && ms > 0) {
        const tone = context.createOscillator(), gain = context.createGain();
        tone.type = 'square';
        tone.frequency.value = frequency;
        gain.gain.value = 0.1;
        tone.connect(gain).connect(context.destination);
        tone.start(at);
        tone.stop(at + ms / 1000);
      }
      if (queued) this.queueEnd = at + length / 1000;
    }
    return queued ? length : 0;
  }
}

// ---- The front: what the session asks for -------------------------------------------------

const CALLBACKS = ['wakeLater', 'startTimer', 'stopTimer', 'setTimerInterval', 'show', 'playSound',
  'languageSwitched', 'makePictures', 'ask', 'reportError', 'openUrl', 'publish', 'showMenu',
  'setFullScreen', 'raise', 'lookAway', 'close', 'closeLater'];

export class Front {
  // page: optional hooks onView(view), afterInput(), showMenu(state),
  // published(ok), closed(), and activation (true: lookAway reports it).
  constructor(screen, page = {}) {
    this.screen = screen;
    this.page = page;
    this.module = null;
    this.live = false;
    this.dead = false;
    this.closed = false;
    this.timers = [0, 1, 2].map((kind) => ({ kind, on: false, period: 0, due: 0, handle: 0 }));
    this.skew = 0;   // virtual time ahead of the real clock
    this.paused = false;
    this.pausedAt = 0;
    this.speed = 1;
    this.fast = false;
    this.firing = -1;
    this.wakePending = false;
    this.redrawPending = false;
    this.away = false;
    this.liftedByPointer = false;
    this.picturesVersion = 0;
    this.sound = new Sound();
    for (const name of CALLBACKS) this[name] = this[name].bind(this);
    // A posted task, not a timer: no clamping when notices chain.
    this.channel = new MessageChannel();
    this.channel.port1.onmessage = () => this.deliver();
    const gesture = () => this.sound.unlock();
    // Full screen left by the browser (its own Esc): the session's F again,
    // so that it knows, and the next F enters it once more.
    document.addEventListener('fullscreenchange', () => {
      if (!document.fullscreenElement && this.view()?.fullScreen) this.call('key', 70);
    });
    window.addEventListener('pointerdown', gesture, true);
    window.addEventListener('keydown', gesture, true);
    // The next key or click after the boss key only lifts the disguise; on
    // the release, so that no click is left over to open the menu.
    const lift = (event) => {
      const leftOver = event.type === 'click' && this.liftedByPointer;
      if (!this.away && !leftOver) return;
      event.preventDefault();
      event.stopImmediatePropagation();
      if (leftOver) this.liftedByPointer = false;
      if (!this.away || (event.type !== 'pointerup' && event.type !== 'keydown')) return;
      this.liftedByPointer = event.type === 'pointerup';
      this.unveil();
      if (this.page.activation) this.call('activation', 1);
    };
    for (const type of ['keydown', 'pointerdown', 'pointerup', 'click']) window.addEventListener(type, lift, true);
    // Their lengths are needed before any gesture lets sound play.
    this.soundsLoaded = this.sound.load(['WAV_1', 'WAV_2']);
  }

  attach(module) {
    this.module = module;
  }

  // An input to the session; the page's storage follows every one.
  call(name, ...args) {
    if (!this.module || this.dead || this.closed) return undefined;
    // Nothing reaches the session before it has started.
    if (name === 'start') this.live = true;
    else if (!this.live && name !== 'create') return undefined;
    try {
      return this.module[`_vx_${name}`](...args);
    } catch (error) {
      this.fault(error);
      return undefined;
    } finally {
      this.page.afterInput?.();
    }
  }

  callText(name, text) {
    if (!this.module || this.dead || this.closed) return undefined;
    const answer = withString(this.module, text, (at) => this.call(name, at));
    return answer ? this.module.UTF8ToString(answer) : undefined;
  }

  fault(error) {
    console.error(error);
    if (error instanceof WebAssembly.RuntimeError) this.aborted(error.message);
    else showMessage(`Something went wrong in the game: ${error?.message ?? error}`);
  }

  aborted(what) {
    this.dead = true;
    this.stopAll();
    fail(`The game stopped: ${what ?? 'an internal error'}. Reload the page to start again.`);
  }

  view() {
    if (!this.live || this.dead) return null;
    try {
      return JSON.parse(this.module.UTF8ToString(this.module._vx_view()));
    } catch (error) {
      this.fault(error);
      return null;
    }
  }

  wellPixels() {
    const at = this.module._vx_well_rgba();
    return at ? this.module.HEAPU8.subarray(at, at + WELL[2] * WELL[3] * 4) : null;
  }

  cellPixels(code) {
    const at = this.module._vx_cell_rgba(code);
    return at ? this.module.HEAPU8.subarray(at, at + CELL * CELL * 4) : null;
  }

  redraw() {
    const view = this.view();
    if (!view) return;
    this.showTitle(view);
    this.screen.draw(view, this.wellPixels());
    if (!this.drawn) {
      this.drawn = true;
      performance.mark('vantorix2-first-frame');
    }
    this.page.onView?.(view);
  }

  scheduleRedraw() {
    if (this.redrawPending) return;
    this.redrawPending = true;
    requestAnimationFrame(() => {
      this.redrawPending = false;
      this.redraw();
    });
  }

  // ---- Time ----

  now() {
    return this.paused ? this.pausedAt : performance.now() + this.skew;
  }

  arm(timer) {
    clearTimeout(timer.handle);
    timer.handle = 0;
    if (!timer.on || this.paused || this.fast || this.closed || this.dead) return;
    timer.handle = setTimeout(() => this.fire(timer.kind), Math.max(0, timer.due - this.now()));
  }

  fire(kind) {
    const timer = this.timers[kind];
    timer.handle = 0;
    if (!timer.on || this.closed) return;
    if (kind === WAIT) {
      timer.on = false;
    } else {
      // From the due time, not from when it came: periods do not drift;
      // ticks missed while the page slept are skipped.
      const step = timer.period > 0 ? timer.period / this.speed : 1;
      const now = this.now();
      timer.due += step;
      if (timer.due < now) timer.due += Math.ceil((now - timer.due) / step) * step;
      this.arm(timer);
    }
    this.firing = kind;
    try {
      this.call('timer', kind);
    } finally {
      this.firing = -1;
    }
  }

  startTimer(kind, ms) {
    const timer = this.timers[kind];
    // A wait that follows one at its end is timed from when that one was due.
    const from = kind === WAIT && this.firing === WAIT ? timer.due : this.now();
    timer.on = true;
    timer.period = ms;
    timer.due = from + ms / this.speed;
    this.arm(timer);
  }

  stopTimer(kind) {
    const timer = this.timers[kind];
    timer.on = false;
    this.arm(timer);
  }

  setTimerInterval(kind, ms) {
    const timer = this.timers[kind];
    timer.period = ms;
    if (timer.on) this.startTimer(kind, ms);
  }

  stopAll() {
    for (const timer of this.timers) {
      timer.on = false;
      this.arm(timer);
    }
  }

  setSpeed(speed) {
    const now = this.now();
    for (const timer of this.timers) if (timer.on) timer.due = now + ((timer.due - now) * this.speed) / speed;
    this.speed = speed;
    this.sound.muted = this.fast || speed !== 1;
    for (const timer of this.timers) this.arm(timer);
  }

  pause() {
    if (this.paused) return;
    this.pausedAt = this.now();
    this.paused = true;
    for (const timer of this.timers) this.arm(timer);
  }

  resume() {
    if (!this.paused) return;
    this.skew = this.pausedAt - performance.now();
    this.paused = false;
    for (const timer of this.timers) this.arm(timer);
  }

  // Fires the timers in virtual time, a slice of about 20 ms per frame,
  // until done() holds or nothing is left to fire.
  runToEnd(done) {
    this.resume();
    this.fast = true;
    this.sound.muted = true;
    for (const timer of this.timers) this.arm(timer);
    return new Promise((resolve) => {
      const slice = () => {
        const until = performance.now() + 20;
        while (!this.closed && !this.dead) {
          if (this.wakePending) {
            this.deliver();
            continue;
          }
          if (done()) break;
          if (performance.now() >= until) {
            requestAnimationFrame(slice);
            return;
          }
          const next = this.timers.filter((timer) => timer.on).sort((a, b) => a.due - b.due)[0];
          if (!next) break;
          this.skew += Math.max(0, next.due - this.now());
          this.fire(next.kind);
        }
        this.fast = false;
        this.sound.muted = this.speed !== 1;
        for (const timer of this.timers) this.arm(timer);
        this.redraw();
        resolve();
      };
      slice();
    });
  }

  wakeLater() {
    if (this.wakePending) return;
    this.wakePending = true;
    if (!this.fast) this.channel.port2.postMessage(0);
  }

  deliver() {
    if (!this.wakePending) return;
    this.wakePending = false;
    this.call('deliver');
  }

  // ---- The view ----

  show(changed) {
    // At once, as an animation goes, except when time runs virtual.
    if (changed & SHOW_NOW && !this.fast) this.redraw();
    else this.scheduleRedraw();
  }

  languageSwitched() {
    this.scheduleRedraw();
  }

  makePictures() {
    this.picturesVersion += 1;
    this.scheduleRedraw();
  }

  playSound(kind, resource, frequency, ms, queued) {
    return this.sound.play(kind, resource, frequency, ms, Boolean(queued));
  }

  // ---- Questions and the world outside ----

  ask(critical, caption, text, yesNo) {
    // Answered once the session's call has returned.
    setTimeout(() => {
      this.redraw();
      const message = [caption, text].filter(Boolean).join('\n\n').replace(/\r\n/g, '\n');
      let yes = true;
      if (yesNo) yes = window.confirm(message);
      else window.alert(message);
      this.call('answer', yes ? 1 : 0);
    }, 0);
  }

  reportError(text) {
    console.warn(text);
    showMessage(text);
  }

  openUrl(url) {
    window.open(url, '_blank', 'noopener');
  }

  publish(job) {
    const address = String(job.address), replayAddress = String(job.replayAddress);
    // The bytes may live in the module's memory: copied before it changes.
    const replays = Array.from(job.replays ?? [], (replay) => new Uint8Array(replay));
    setTimeout(async () => {
      let ok = false;
      try {
        const answer = await fetch(address, { redirect: 'manual', cache: 'no-store' });
        ok = answer.status === 200 || answer.status === 302 || answer.type === 'opaqueredirect';
      } catch (error) {
        console.warn('Publishing failed:', error);
      }
      for (const body of ok ? replays : []) {
        try {
          const answer = await fetch(replayAddress, {
            method: 'POST', body, cache: 'no-store', headers: { 'Content-Type': 'application/octet-stream' },
          });
          if (answer.status === 404) break;
        } catch {
          break;   // what was published stays published
        }
      }
      this.page.published?.(ok);
      this.call('publish_ended', ok ? 1 : 0);
    }, 0);
  }

  showMenu(state) {
    this.page.showMenu?.(state);
  }

  // The session's title and its icon: the disguise while the player looks away.
  showTitle(view) {
    document.title = view.title;
    const icon = document.querySelector('link[rel=icon]');
    const wanted = view.away ? 'icon_reports_32.png' : 'icon_main_32.png';
    if (icon && !icon.href.endsWith(wanted)) icon.href = wanted;
  }

  setFullScreen(on) {
    const target = document.getElementById('game') ?? document.documentElement;
    try {
      if (on && !document.fullscreenElement) target.requestFullscreen?.()?.catch(() => {});
      else if (!on && document.fullscreenElement) document.exitFullscreen()?.catch(() => {});
    } catch {
      // refused: the game goes on in the window
    }
  }

  raise() {
    window.focus();
  }

  lookAway() {
    this.away = true;
    document.body.classList.add('away');
    if (this.page.activation) setTimeout(() => this.call('activation', 0), 0);
  }

  // The disguise of the boss key taken off.
  unveil() {
    this.away = false;
    document.body.classList.remove('away');
    this.scheduleRedraw();
  }

  close() {
    if (this.closed) return;
    this.closed = true;
    this.stopAll();
    setTimeout(() => {
      try {
        this.module?._vx_closing();
      } catch (error) {
        console.error(error);
      }
      this.page.afterInput?.();
      this.page.closed?.();
    }, 0);
  }

  closeLater() {
    this.close();
  }
}

// ---- The canvas: the desktop window's design, 800 × 600 ------------------------------------

const SERIF = '"Liberation Serif", "Times New Roman", serif';
const SANS = '"Liberation Sans", Arial, sans-serif';
const serif = (px, style = 'bold') => ({ family: SERIF, px, style });
const sans = (px, style = 'bold') => ({ family: SANS, px, style });
// The records book sets these after every load (a tenth, the rest, 35 %);
// the view does not carry them.
// Until the session says (its records file keeps them).
const RECORD_COLUMNS = [25, 105, 71];
const LIME = '#00FF00', AQUA = '#00FFFF', YELLOW = '#FFFF00', NAVY = '#000080';

// Places of the links and lists on the canvas, for the pages' clicks.
export const DEFAULT_BACKGROUND = '#6a6a6a';

export const PLACES = {
  languageLink: [18, 30, 63, 18], top30: [600, 50, 113, 41], author: [640, 555, 137, 22],
  keyHelp: [45, 190, 209, 277], records: [552, 75, 201, 454],
};

export function inside([x, y, w, h], px, py) {
  return px >= x && px < x + w && py >= y && py < y + h;
}

export class Screen {
  constructor(canvas, overlay) {
    this.canvas = canvas;
    this.overlay = overlay;
    this.context = canvas.getContext('2d', { alpha: false });
    this.scale = 1;
    // The window's background: the player may choose another for the
    // visit (never kept), and the default colours bring it back.
    this.background = DEFAULT_BACKGROUND;
    this.well = document.createElement('canvas');
    this.well.width = WELL[2];
    this.well.height = WELL[3];
    this.wellContext = this.well.getContext('2d');
    this.wellImage = this.wellContext.createImageData(WELL[2], WELL[3]);
    this.metricsCache = new Map();
    this.onChange = null;   // to draw again: laid out anew, or an image came
    this.emblems = ['emblem_rus.png', 'emblem_eng.png'].map((name) => {
      const image = new Image();
      image.onload = () => this.onChange?.();
      image.src = name;
      return image;
    });
    // The messages below may take room from the canvas: its area is watched.
    const relayout = () => {
      this.layout();
      this.onChange?.();
    };
    new ResizeObserver(relayout).observe(canvas.parentElement.parentElement);
    window.addEventListener('resize', relayout);
    this.layout();
  }

  // Fits the design into the stage's parent, whole device pixels, centred.
  layout() {
    const stage = this.canvas.parentElement, area = stage.parentElement;
    const ratio = window.devicePixelRatio || 1;
    const fit = Math.max(0.1, Math.min(area.clientWidth / 800, area.clientHeight / 600));
    const width = Math.max(80, Math.floor(800 * fit * ratio));
    const height = Math.round((width * 600) / 800);
    if (this.canvas.width !== width || this.canvas.height !== height) {
      this.canvas.width = width;
      this.canvas.height = height;
    }
    this.scale = width / 800;
    Object.assign(stage.style, {
      width: `${width / ratio}px`, height: `${height / ratio}px`,
      left: `${Math.max(0, Math.floor((area.clientWidth * ratio - width) / 2)) / ratio}px`,
      top: `${Math.max(0, Math.floor((area.clientHeight * ratio - height) / 2)) / ratio}px`,
    });
    if (this.overlay) this.overlay.style.transform = `scale(${width / ratio / 800})`;
  }

  // A point of the page in the design's coordinates.
  designPoint(event) {
    const box = this.canvas.getBoundingClientRect();
    return [((event.clientX - box.left) * 800) / box.width, ((event.clientY - box.top) * 600) / box.height];
  }

  // A design rectangle in whole device pixels, never thinner than one.
  pixels(x, y, w, h) {
    const s = this.scale, left = Math.round(x * s), top = Math.round(y * s);
    return [left, top, Math.max(1, Math.round((x + w) * s) - left), Math.max(1, Math.round((y + h) * s) - top)];
  }

  fill(colour, x, y, w, h) {
    this.context.fillStyle = colour;
    this.context.fillRect(...this.pixels(x, y, w, h));
  }

  // Ascent and descent at the design's size, as Qt rounds them.
  metrics(font) {
    const key = `${font.style} ${font.px}px ${font.family}`;
    let found = this.metricsCache.get(key);
    if (!found) {
      this.context.font = key;
      const measured = this.context.measureText('Hg');
      const ascent = Math.round(measured.fontBoundingBoxAscent ?? font.px * 0.9);
      const descent = Math.round(measured.fontBoundingBoxDescent ?? font.px * 0.22);
      found = { ascent, descent, height: ascent + descent };
      this.metricsCache.set(key, found);
    }
    return found;
  }

  // A label: clipped to its place, at its top (or centred), as Qt lays it out.
  label(text, [x, y, w, h], font, colour, align = 'center', middle = false) {
    if (!text) return;
    const c = this.context, s = this.scale, m = this.metrics(font);
    c.save();
    c.beginPath();
    c.rect(...this.pixels(x, y, w, h));
    c.clip();
    c.font = `${font.style} ${font.px * s}px ${font.family}`;
    c.fillStyle = colour;
    c.textAlign = align;
    c.textBaseline = 'alphabetic';
    const at = align === 'center' ? x + w / 2 : align === 'right' ? x + w : x;
    const baseline = middle ? y + (h - m.height) / 2 + m.ascent : y + m.ascent;
    c.fillText(String(text), at * s, baseline * s);
    c.restore();
  }

  frameLine(x, y, w, h) {
    const shades = ['#FFFFFF', '#848284', '#FFFFFF'];
    shades.forEach((shade, i) =>
      w > h ? this.fill(shade, x, y + i, w, 1) : this.fill(shade, x + i, y, 1, h));
  }

  // Raised: light above and left, dark below and right; sunken the other way.
  bevel(x, y, w, h, width, raised) {
    const c = this.context, [left, top, pw, ph] = this.pixels(x, y, w, h);
    const b = Math.max(1, Math.round(width * this.scale)), right = left + pw, bottom = top + ph;
    const corner = (colour, points) => {
      c.fillStyle = colour;
      c.beginPath();
      points.forEach(([px, py], i) => (i ? c.lineTo(px, py) : c.moveTo(px, py)));
      c.fill();
    };
    corner(raised ? '#FFFFFF' : '#BEBEBE', [[left, top], [right, top], [right - b, top + b], [left + b, top + b],
      [left + b, bottom - b], [left, bottom]]);
    corner(raised ? '#9F9F9F' : '#FFFFFF', [[right, bottom], [left, bottom], [left + b, bottom - b],
      [right - b, bottom - b], [right - b, top + b], [right, top]]);
  }

  // A report-style list: sunken, rows of the font's height + 2, one row selectable.
  list(place, rows, widths, font, selected, rightColumn = -1) {
    const [x, y, w, h] = place;
    this.fill('#D4D0C8', x, y, w, h);
    this.bevel(x, y, w, h, 1, false);
    const m = this.metrics(font), rowHeight = m.height + 2, inner = [x + 1, y + 1, w - 2, h - 2];
    const c = this.context;
    c.save();
    c.beginPath();
    c.rect(...this.pixels(...inner));
    c.clip();
    rows.forEach((row, r) => {
      const top = y + 1 + r * rowHeight;
      const picked = r + 1 === selected;
      if (picked) this.fill(NAVY, x + 1, top, w - 2, rowHeight);
      let left = x + 1;
      widths.forEach((width, i) => {
        const cell = [left + 3, top, Math.max(0, width - 6), rowHeight];
        this.label(row[i], cell, font, picked ? '#FFFFFF' : NAVY, i === rightColumn ? 'right' : 'left', true);
        left += width;
      });
    });
    c.restore();
  }

  draw(view, wellPixels) {
    const c = this.context, caption = (name) => view.captions?.[name] ?? '';
    c.setTransform(1, 0, 0, 1, 0, 0);
    c.fillStyle = this.background;
    c.fillRect(0, 0, this.canvas.width, this.canvas.height);
    this.frameLine(11, 4, 778, 3);
    this.frameLine(11, 593, 778, 3);
    this.frameLine(5, 10, 3, 580);
    this.frameLine(792, 10, 3, 580);
    this.label('VANTORIX II', [18, 14, 111, 18], sans(11, 'italic'), LIME, 'left');
    this.label(caption('Label11'), PLACES.languageLink, sans(11, 'italic'), AQUA, 'left');
    const emblem = this.emblems[view.language === 1 ? 1 : 0];
    if (emblem.complete && emblem.naturalWidth) c.drawImage(emblem, ...this.pixels(97, 13, 33, 17));
    if (view.gameOver) this.label('GAME OVER', [15, 54, 266, 55], serif(40), LIME);
    this.label(caption('Label2'), [72, 105, 153, 41], serif(29), NAVY);
    this.label(view.level, [72, 138, 153, 49], serif(40), YELLOW);
    this.label(caption('Label1'), [72, 476, 153, 41], serif(29), NAVY);
    this.label(view.score, [48, 509, 201, 43], serif(40), YELLOW);
    if (view.bonusWord) this.label(caption('LBBonus'), [64, 50, 166, 52], serif(45), AQUA);
    if (view.bonusAmount) this.label(view.bonusText, [16, 54, 265, 49], serif(40), LIME);
    this.list(PLACES.keyHelp, view.keyHelp ?? [], [53, 156], sans(12), 0);
    if (view.autopilot) this.label(caption('lbS'), [25, 568, 244, 23], serif(14, 'italic bold'), AQUA);
    if (view.replay) this.label(caption('lbReplay'), [15, 54, 266, 55], serif(36), AQUA);
    if (wellPixels) {
      this.wellImage.data.set(wellPixels);
      this.wellContext.putImageData(this.wellImage, 0, 0);
    }
    c.imageSmoothingEnabled = false;
    c.drawImage(this.well, ...this.pixels(...WELL));
    c.imageSmoothingEnabled = true;
    for (const line of [[287, 15, 225, 1], [288, 581, 225, 1], [287, 16, 1, 566], [512, 15, 1, 566]])
      this.fill('#A3A3A3', ...line);
    this.label(caption('Label4'), PLACES.top30, serif(21, 'normal'), LIME);
    this.list(PLACES.records, view.records ?? [], view.recordColumns ?? RECORD_COLUMNS, sans(11), view.recordRow, 2);
    c.globalAlpha = view.menuHint ? 1 : 0.45;
    this.label(caption('Label8'), [551, 531, 202, 22], sans(9, 'normal'), AQUA);
    c.globalAlpha = 1;
    this.label(caption('Label5'), PLACES.author, sans(11, 'italic'), LIME, 'right');
    this.label(caption('Label7'), [648, 570, 129, 17], sans(11, 'italic'), LIME, 'right');
    if (view.pause) {
      this.fill('#FFFFE1', ...WELL);
      this.bevel(...WELL, 5, true);
      this.label('Pause', WELL, serif(27), NAVY, 'center', true);
    }
  }
}

// Puts 31 × 31 RGBA pixels into a small canvas.
export function paintCell(canvas, pixels) {
  if (!pixels) return;
  const context = canvas.getContext('2d');
  const image = context.createImageData(CELL, CELL);
  image.data.set(pixels);
  context.putImageData(image, 0, 0);
}
