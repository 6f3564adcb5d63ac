// The play page: the whole game with the desktop's keys; its records and
// options live in the module's /store, kept in the browser's localStorage.

import { DEFAULT_BACKGROUND, Front, PLACES, Screen, fail, gameKey, inside, loadModule, paintCell, setState, showMessage, withString }
  from './front.js';

const $ = (id) => document.getElementById(id);
const canvas = $('canvas'), entry = $('name-entry'), menu = $('menu'), picker = $('opt-picker');
const about = $('about'), options = $('options');
const screen = new Screen(canvas, $('overlay'));
const front = new Front(screen, { onView, afterInput: scheduleSync, showMenu, published, closed, activation: true });
let lastView = null, store = null, syncPending = false, menuAt = [0, 0], dismissing = false, cellsKey = '';

window.vantorix = { module: null, front, view: () => front.view() };

const caption = (name) => lastView?.captions?.[name] ?? '';
const mailLink = (view) => `mailto:${view?.mail ?? ''}?subject=VANTORIX2 1.3`;

// ---- /store kept in localStorage ------------------------------------------------------------

const PREFIX = 'vantorix2:', ROOT = '/store';

function encode(bytes) {
  let text = '';
  for (let at = 0; at < bytes.length; at += 0x8000) text += String.fromCharCode(...bytes.subarray(at, at + 0x8000));
  return btoa(text);
}

function decode(text) {
  const raw = atob(text), bytes = new Uint8Array(raw.length);
  for (let i = 0; i < raw.length; i += 1) bytes[i] = raw.charCodeAt(i);
  return bytes;
}

function makeDirectory(fs, path) {
  try {
    fs.mkdir(path);
  } catch {
    // there already
  }
}

class Store {
  constructor(fs) {
    this.fs = fs;
    this.saved = new Map();   // path → size and time as last saved
    this.told = false;
  }

  restore() {
    makeDirectory(this.fs, ROOT);
    const keys = Object.keys(localStorage).filter((key) => key.startsWith(`${PREFIX}${ROOT}/`));
    for (const key of keys) {
      const path = key.slice(PREFIX.length), segments = path.split('/');
      try {
        for (let n = 3; n < segments.length; n += 1) makeDirectory(this.fs, segments.slice(0, n).join('/'));
        this.fs.writeFile(path, decode(localStorage.getItem(key)));
        this.saved.set(path, this.signature(this.fs.stat(path)));
      } catch (error) {
        console.warn(`${path} not restored:`, error);
      }
    }
  }

  signature(stat) {
    const time = Number(stat.mtime);
    // Written within the last moments: it may change again within the same
    // millisecond, so it is read again next time.
    return Date.now() - time < 2 ? '' : `${stat.size}:${time}`;
  }

  walk(directory, found) {
    for (const name of this.fs.readdir(directory)) {
      if (name === '.' || name === '..') continue;
      const path = `${directory}/${name}`, stat = this.fs.stat(path);
      if (this.fs.isDir(stat.mode)) this.walk(path, found);
      else if (this.fs.isFile(stat.mode)) found.set(path, stat);
    }
  }

  sync() {
    const found = new Map();
    try {
      this.walk(ROOT, found);
    } catch (error) {
      console.warn('The store could not be read:', error);
      return;
    }
    for (const [path, stat] of found) {
      const signature = this.signature(stat);
      if (signature && this.saved.get(path) === signature) continue;
      try {
        localStorage.setItem(PREFIX + path, encode(this.fs.readFile(path)));
        this.saved.set(path, signature);
      } catch (error) {
        this.tell(error);
      }
    }
    for (const path of [...this.saved.keys()]) {
      if (found.has(path)) continue;
      localStorage.removeItem(PREFIX + path);
      this.saved.delete(path);
    }
  }

  tell(error) {
    console.warn('Not saved:', error);
    if (this.told) return;
    this.told = true;
    showMessage(`The browser did not keep your records and options (${error.name}): its storage may be full.`);
  }
}

function scheduleSync() {
  if (!store || syncPending) return;
  syncPending = true;
  setTimeout(() => {
    syncPending = false;
    store.sync();
  }, 16);
}

// ---- The view ---------------------------------------------------------------------------------

function onView(view) {
  lastView = view;
  if (document.body.dataset.state !== 'error')
    setState(view.running ? 'playing' : view.gameOver ? 'over' : 'ready');
  showNameEntry(view);
  showAbout(view);
  showOptions(view);
  $('publish').disabled = front.closed || view.publishing || view.running || !view.records?.length;
}

function showNameEntry(view) {
  if (view.nameEntry && entry.hidden) {
    entry.hidden = false;
    entry.value = view.nameText ?? '';
    entry.focus();
    // The proposed name selected: typing replaces it, Enter keeps it.
    if (view.selectName) entry.select();
  } else if (!view.nameEntry && !entry.hidden) {
    entry.hidden = true;
    entry.blur();
  }
}

function showAbout(view) {
  about.hidden = !view.about;
  if (!view.about) return;
  const mail = $('about-mail');
  mail.textContent = view.mail || 'E-mail...';
  mail.href = mailLink(view);
  for (const link of [$('about-site1'), $('about-site2')]) {
    link.textContent = view.site ?? '';
    link.href = view.site ?? '';
  }
  $('about-text').textContent = caption('LBAbout');
}

const cssColour = (bgr) => `#${[bgr & 255, (bgr >> 8) & 255, (bgr >> 16) & 255]
  .map((part) => part.toString(16).padStart(2, '0')).join('')}`;
const bgrOf = (css) => {
  const rgb = parseInt(css.slice(1), 16);
  return ((rgb >> 16) & 255) | (rgb & 0xff00) | ((rgb & 255) << 16);
};

const cells = [], swatches = [];

function buildColourGrid() {
  const grid = $('opt-grid');
  for (let k = 0; k < 6; k += 1) {
    const cell = document.createElement('canvas');
    cell.width = cell.height = 31;
    grid.append(cell);
    cells.push(cell);
  }
  for (let k = 0; k < 6; k += 1) {
    const swatch = document.createElement('button');
    swatch.type = 'button';
    swatch.setAttribute('aria-label', `Colour ${k + 1}`);
    swatch.addEventListener('click', () => {
      picker.dataset.panel = String(k);
      picker.value = cssColour(lastView?.colours?.[k] ?? 0);
      if (picker.showPicker) picker.showPicker();
      else picker.click();
    });
    grid.append(swatch);
    swatches.push(swatch);
  }
}

function showOptions(view) {
  options.hidden = !view.options;
  if (!view.options) {
    cellsKey = '';
    return;
  }
  for (const element of options.querySelectorAll('[data-caption]'))
    element.textContent = caption(element.dataset.caption);
  for (const box of options.querySelectorAll('input[data-switch]'))
    box.checked = Boolean(view.switches?.[Number(box.dataset.switch)]);
  for (const radio of options.querySelectorAll('input[name="language"]'))
    radio.checked = Number(radio.value) === view.language;
  swatches.forEach((swatch, k) => { swatch.style.backgroundColor = cssColour(view.colours?.[k] ?? 0); });
  const key = `${front.picturesVersion}/${view.colourMode}/${view.colours}`;
  if (key === cellsKey) return;
  cellsKey = key;
  cells.forEach((cell, k) => paintCell(cell, front.cellPixels(k + 1)));
}

// ---- The menu -----------------------------------------------------------------------------------

function showMenu(state) {
  const refused = { 0: !state.publish, 2: !state.watchBest, 3: !state.erase };
  for (const item of menu.querySelectorAll('button')) {
    item.textContent = caption(item.dataset.caption) || item.dataset.caption;
    item.disabled = Boolean(refused[item.dataset.command]);
  }
  menu.hidden = false;
  const box = menu.getBoundingClientRect();
  menu.style.left = `${Math.max(0, Math.min(menuAt[0], window.innerWidth - box.width - 2))}px`;
  menu.style.top = `${Math.max(0, Math.min(menuAt[1], window.innerHeight - box.height - 2))}px`;
  menu.querySelector('button:not(:disabled)')?.focus();
}

function hideMenu() {
  menu.hidden = true;
  if (menu.contains(document.activeElement)) document.activeElement.blur();
}

function menuKey(event) {
  event.preventDefault();
  const items = [...menu.querySelectorAll('button:not(:disabled)')];
  const at = items.indexOf(document.activeElement);
  if (event.key === 'Escape') hideMenu();
  else if (event.key === 'ArrowDown') items[(at + 1) % items.length]?.focus();
  else if (event.key === 'ArrowUp') items[(at - 1 + items.length) % items.length]?.focus();
  else if (event.key === 'Enter' || event.key === ' ') document.activeElement?.click?.();
}

// ---- The world outside ------------------------------------------------------------------------

function published(ok) {
  showMessage(ok ? 'Published.' : 'Publishing failed.');
}

function closed() {
  showMessage('Game closed — reload to play again');
  hideMenu();
  $('publish').disabled = true;
}

// The name entry: what the session holds put back, the caret after what was kept.
function nameTyped() {
  const typed = entry.value, caret = entry.selectionStart ?? typed.length;
  const held = front.callText('name_typed', typed);
  if (held === undefined || held === typed) return;
  let kept = 0, before = 0;
  for (let i = 0; i < typed.length; i += 1) {
    if (kept < held.length && typed[i] === held[kept]) kept += 1;
    if (i + 1 === caret) before = kept;
  }
  entry.value = held;
  // Not the typed text less some characters (another name): all of it selected.
  if (kept === held.length) entry.setSelectionRange(before, before);
  else entry.select();
}

function canvasClick(event) {
  const [x, y] = screen.designPoint(event);
  if (inside(PLACES.languageLink, x, y)) {
    front.call('language_link');
  } else if (inside(PLACES.top30, x, y)) {
    front.call('menu', 1);
  } else if (inside(PLACES.author, x, y)) {
    front.openUrl(mailLink(lastView));
  } else if (!inside(PLACES.keyHelp, x, y) && !inside(PLACES.records, x, y)) {
    menuAt = [event.clientX, event.clientY];
    front.call('click');
  }
  if (lastView?.nameEntry) entry.focus();
}

function listen() {
  screen.onChange = () => front.redraw();
  buildColourGrid();

  window.addEventListener('keydown', (event) => {
    if (!front.module || event.target === entry) return;
    if (!menu.hidden) {
      menuKey(event);
      return;
    }
    // The session's own state, not the last frame's: a key may come first.
    if (front.view()?.nameEntry) {
      entry.focus();   // the open name entry keeps the keys
      return;
    }
    const vk = gameKey(event);
    if (vk) front.call('key', vk);
  });
  entry.addEventListener('input', nameTyped);
  entry.addEventListener('keydown', (event) => {
    if (event.key !== 'Enter' || event.isComposing) return;
    event.preventDefault();
    front.call('name_enter');
    // Closed at once, not at the next frame: the next key is the game's.
    const view = front.view();
    if (view) onView(view);
  });

  canvas.addEventListener('click', canvasClick);
  canvas.addEventListener('mousemove', (event) => {
    const [x, y] = screen.designPoint(event);
    const link = ['languageLink', 'top30', 'author'].some((name) => inside(PLACES[name], x, y));
    canvas.style.cursor = link ? 'pointer' : '';
  });
  about.addEventListener('click', (event) => {
    if (!event.target.closest('a')) front.call('click');
  });

  // A menu dismissed by a click elsewhere: that click does nothing more.
  document.addEventListener('pointerdown', (event) => {
    dismissing = !menu.hidden && !menu.contains(event.target);
    if (dismissing) hideMenu();
  }, true);
  document.addEventListener('click', (event) => {
    if (!dismissing) return;
    dismissing = false;
    event.stopPropagation();
    event.preventDefault();
  }, true);
  menu.addEventListener('click', (event) => {
    const item = event.target.closest('button');
    if (!item || item.disabled) return;
    hideMenu();
    front.call('menu', Number(item.dataset.command));
  });
  $('publish').addEventListener('click', (event) => {
    event.currentTarget.blur();
    front.call('menu', 0);
  });

  // The options panel's controls give the keys back to the game at once.
  const settle = (control, act) => control.addEventListener('change', () => {
    act(control);
    control.blur();
  });
  for (const box of options.querySelectorAll('input[data-switch]'))
    settle(box, () => front.call('set_switch', Number(box.dataset.switch), box.checked ? 1 : 0));
  for (const radio of options.querySelectorAll('input[name="language"]'))
    settle(radio, () => front.call('choose_language', Number(radio.value)));
  settle(picker, () => {
    if (picker.dataset.panel === 'background') {
      screen.background = picker.value;
      front.redraw();
    } else {
      front.call('set_colour', Number(picker.dataset.panel), bgrOf(picker.value));
    }
  });
  // A click on the panel's free area chooses the window's background.
  options.addEventListener('click', (event) => {
    if (event.target !== options) return;
    picker.dataset.panel = 'background';
    picker.value = screen.background;
    if (picker.showPicker) picker.showPicker();
    else picker.click();
  });
  $('opt-default').addEventListener('click', () => {
    screen.background = DEFAULT_BACKGROUND;
    front.redraw();
  });
  for (const [id, command] of [['opt-default', 'default_colours'], ['opt-ok', 'toggle_options']]) {
    $(id).addEventListener('click', (event) => {
      event.currentTarget.blur();
      front.call(command);
    });
  }

  window.addEventListener('focus', () => {
    if (front.away) front.unveil();
    front.call('activation', 1);
  });
  window.addEventListener('blur', () => front.call('activation', 0));
  window.addEventListener('pagehide', () => {
    front.call('closing');
    store?.sync();
  });
  // A page put away may never see its pagehide.
  document.addEventListener('visibilitychange', () => document.hidden && store?.sync());
}

async function main() {
  listen();
  const module = await loadModule(front);
  if (!module) return;
  window.vantorix.module = module;
  // The records and options of earlier visits, before the session reads them.
  try {
    store = new Store(module.FS);
    store.restore();
  } catch (error) {
    store = null;
    makeDirectory(module.FS, ROOT);
    showMessage(`This browser keeps no records for the game (${error.name}).`);
  }
  await front.soundsLoaded;
  const seed = crypto.getRandomValues(new Uint32Array(1))[0];
  // 0: the reason came through reportError.
  if (withString(module, location.host, (host) => front.call('create', 1, seed, host)) === 0) {
    setState('error');
    return;
  }
  front.call('start');
  if (document.hasFocus()) front.call('activation', 1);
  if (document.body.dataset.state === 'loading') setState('ready');
  front.redraw();
}

main().catch((error) => fail(`The game could not start: ${error?.message ?? error}`));
