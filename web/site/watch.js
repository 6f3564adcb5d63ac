// The watch page: one verified game of the records site played again, at
// its own pace or faster; no key reaches the session (one would end it).

import { Front, PLACES, Screen, fail, inside, loadModule, setState, withBytes, withString } from './front.js';

const $ = (id) => document.getElementById(id);
const pauseButton = $('play-pause');
const speedButtons = new Map([1, 4, 16].map((speed) => [speed, $(`speed-${speed}`)]));
const controls = [pauseButton, ...speedButtons.values(), $('to-end')];
const screen = new Screen($('canvas'), null);
const front = new Front(screen, { onView });
let watched = false, ended = false, running = false;

window.vantorix = { module: null, front, view: () => front.view() };

function onView(view) {
  $('progress').value = Number(view.progress) || 0;
  if (view.watching) watched = true;
  else if (watched && !ended) finish(view);
}

function finish(view) {
  ended = true;
  for (const control of controls) control.disabled = true;
  $('result').textContent = `Score ${view.score}, level ${view.level}`;
  document.body.dataset.score = view.score;
  setState('ended');
}

function enable(on) {
  for (const control of controls) control.disabled = !on || ended;
}

function togglePause() {
  if (!watched || ended || running) return;
  if (front.paused) front.resume();
  else front.pause();
  pauseButton.textContent = front.paused ? 'Play' : 'Pause';
}

function chooseSpeed(speed) {
  front.setSpeed(speed);
  for (const [each, button] of speedButtons) button.setAttribute('aria-pressed', String(each === speed));
}

async function toTheEnd() {
  running = true;
  enable(false);
  pauseButton.textContent = 'Pause';
  await front.runToEnd(() => !front.view()?.watching);
  running = false;
  enable(true);
}

async function fetchReplay(id) {
  let answer;
  try {
    answer = await fetch(`/datas/html/replay.php?id=${id}`, { cache: 'no-store' });
  } catch (error) {
    fail(`The game could not be fetched: ${error.message}`);
    return null;
  }
  if (answer.status === 404) {
    fail(`There is no verified game number ${id}.`);
    return null;
  }
  if (!answer.ok) {
    fail(`The game could not be fetched: the server answered ${answer.status} ${answer.statusText}`.trim());
    return null;
  }
  return new Uint8Array(await answer.arrayBuffer());
}

function listen() {
  screen.onChange = () => front.redraw();
  pauseButton.addEventListener('click', togglePause);
  for (const [speed, button] of speedButtons) button.addEventListener('click', () => chooseSpeed(speed));
  $('to-end').addEventListener('click', toTheEnd);
  // The language link switches the captions; it is no key, the game goes on.
  $('canvas').addEventListener('click', (event) => {
    const [x, y] = screen.designPoint(event);
    if (inside(PLACES.languageLink, x, y)) front.call('language_link');
  });
  // A clicked button gives the keys back to the page: Space pauses, not clicks again.
  for (const control of controls) control.addEventListener('click', () => control.blur());
  window.addEventListener('keydown', (event) => {
    if (event.ctrlKey || event.metaKey || event.altKey) return;
    if (event.code !== 'Space' && event.code !== 'KeyP') return;
    event.preventDefault();
    if (!event.repeat) togglePause();
  });
}

async function main() {
  listen();
  const id = new URLSearchParams(location.search).get('id') ?? '';
  if (!/^[1-9][0-9]{0,15}$/.test(id)) {
    fail('No such game: the address needs ?id= and a number.');
    return;
  }
  const replay = await fetchReplay(id);
  if (!replay) return;
  const module = await loadModule(front);
  if (!module) return;
  window.vantorix.module = module;
  await front.soundsLoaded;
  // 0: the reason came through reportError.
  if (withString(module, location.host, (host) => front.call('create', 0, 1, host)) === 0) {
    setState('error');
    return;
  }
  front.call('start');
  const watching = withBytes(module, replay, (at, length) => front.call('watch', at, length));
  // A replay may end inside the call already.
  if (!watching && !ended) {
    setState('error');   // the reason came through reportError
  } else if (!ended) {
    watched = true;
    setState('watching');
    enable(true);
  }
  front.redraw();
}

main();
