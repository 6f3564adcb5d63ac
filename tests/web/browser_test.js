// The web edition's pages in headless Chromium against a records server of
// their own on 127.0.0.1: a verified game watched to its end (and its well
// against the desktop window's picture), the pages' answers to bad input,
// and a game played in the page, published and verified.
// Usage: node browser_test.js SERVER SITE SIM DESKTOP_WELL WORK [CASE...]
'use strict';
const {spawn, spawnSync} = require('child_process');
const fs = require('fs');
const http = require('http');
const net = require('net');
const path = require('path');
const {Browser} = require('./cdp.js');

const [serverBinary, site, sim, desktopWell, work] = process.argv.slice(2, 7).map((p) => path.resolve(p));
const only = process.argv.slice(7);

function freePort() {
    return new Promise((resolve, reject) => {
        const probe = net.createServer();
        probe.on('error', reject);
        probe.listen(0, '127.0.0.1', () => {
            const {port} = probe.address();
            probe.close(() => resolve(port));
        });
    });
}

function request(port, method, target, body) {
    return new Promise((resolve, reject) => {
        const call = http.request({host: '127.0.0.1', port, method, path: target, timeout: 10000,
                                   headers: body ? {'Content-Type': 'application/octet-stream'} : {}}, (answer) => {
            const parts = [];
            answer.on('data', (d) => parts.push(d));
            answer.on('end', () => resolve({status: answer.statusCode, body: Buffer.concat(parts)}));
        });
        call.on('timeout', () => call.destroy(new Error(`${method} ${target}: no answer`)));
        call.on('error', reject);
        call.end(body);
    });
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function until(what, milliseconds, probe) {
    const end = Date.now() + milliseconds;
    for (;;) {
        const value = await probe();
        if (value)
            return value;
        if (Date.now() > end)
            throw new Error(`waited ${milliseconds} ms for ${what}`);
        await sleep(100);
    }
}

// The replay ids the records page links to its watching page.
async function watchedIds(port) {
    const page = await request(port, 'GET', '/view.php?v=results');
    return [...page.body.toString('utf8').matchAll(/watch\.html\?id=(\d+)/g)].map((m) => Number(m[1]));
}

async function startServer() {
    const port = await freePort();
    const server = spawn(serverBinary, ['--listen', `127.0.0.1:${port}`, '--db', path.join(work, 'records.db'),
                                        '--web', site], {stdio: ['ignore', 'ignore', 'pipe']});
    let log = '';
    server.stderr.on('data', (d) => { log += d; });
    await until('the records server', 15000, async () => {
        try {
            return (await request(port, 'GET', '/')).status === 200;
        } catch (e) {
            return false;
        }
    });
    return {port, server, log: () => log};
}

// An autopilot game of the headless driver, published as the game would.
async function publishSimGame(port) {
    const folder = path.join(work, 'sim');
    fs.rmSync(folder, {recursive: true, force: true});
    const run = spawnSync(sim, ['play', '--seed', '2', '--games', '1', '--max-landings', '150', '--replays', folder],
                          {encoding: 'utf8', timeout: 60000});
    if (run.status !== 0)
        throw new Error(`sim: ${run.stderr}`);
    const game = JSON.parse(run.stdout.split('\n')[0]);
    const file = path.join(folder, 'game-1.vxr');
    const before = await watchedIds(port);
    const published = await request(port, 'GET', `/datas/html/add.php?name=&self=&autopilot=${game.score}`);
    if (published.status !== 200 && published.status !== 302)
        throw new Error(`publish: ${published.status} ${published.body}`);
    const posted = await request(port, 'POST', '/datas/html/replay.php?publisher=', fs.readFileSync(file));
    if (posted.status >= 300)
        throw new Error(`replay: ${posted.status} ${posted.body}`);
    const ids = await until('the published replay verified', 20000, async () => {
        const now = await watchedIds(port);
        return now.length > before.length && now;
    });
    return {id: ids.find((id) => !before.includes(id)), file, game};
}

const grouped = (score) => String(score).replace(/\B(?=(\d{3})+(?!\d))/g, '.');

const cases = {
    async watchesAVerifiedGameToItsEnd({browser, port, published}) {
        await browser.navigate(`http://127.0.0.1:${port}/watch.html?id=${published.id}`);
        await browser.waitFor(`document.body.dataset.state === 'watching'`, 20000, 'watching');
        // The language link switches the captions and leaves the game playing.
        const language = await browser.evaluate(`window.vantorix.view().language`);
        const link = await browser.evaluate(`(() => { const b = document.querySelector('canvas').getBoundingClientRect();
            return {x: b.left + (30 * b.width) / 800, y: b.top + (38 * b.height) / 600}; })()`);
        for (const type of ['mousePressed', 'mouseReleased'])
            await browser.send('Input.dispatchMouseEvent', {type, ...link, button: 'left', clickCount: 1});
        await browser.waitFor(`window.vantorix.view().language === ${1 - language} && window.vantorix.view().watching`,
                              5000, 'the other language, still watching');
        await browser.evaluate(`document.getElementById('to-end').click()`);
        await browser.waitFor(`document.body.dataset.state === 'ended'`, 120000, 'the end of the game');
        const end = await browser.evaluate(`(() => { const v = window.vantorix.view();
            return {score: document.body.dataset.score, gameOver: v.gameOver, replay: v.replay,
                    result: document.getElementById('result').textContent}; })()`);
        const want = grouped(published.game.score);
        if (end.score !== want || !end.gameOver || end.replay || !end.result.includes(want))
            throw new Error(`the end shows ${JSON.stringify(end)}, not score ${want} with GAME OVER`);
        // The same well in the flat colour mode, as the desktop draws it.
        // The design at its own size (one canvas pixel a page pixel), so the
        // well is the window's pixel for pixel or not at all.
        const room = await browser.evaluate(`(() => { const area = document.querySelector('canvas').parentElement.parentElement;
            return {width: innerWidth - area.clientWidth, height: innerHeight - area.clientHeight}; })()`);
        await browser.send('Emulation.setDeviceMetricsOverride', {width: 800 + room.width, height: 600 + room.height,
                                                                  deviceScaleFactor: 1, mobile: false});
        await browser.waitFor(`document.querySelector('canvas').width === 800`, 5000, 'the canvas at its own size');
        await browser.evaluate(`window.vantorix.module._vx_key(49); window.vantorix.front.redraw();`);
        const box = await browser.evaluate(`(() => { const b = document.querySelector('canvas').getBoundingClientRect();
            return {x: b.left, y: b.top}; })()`);
        const shot = await browser.screenshot({x: box.x + 291, y: box.y + 19, width: 218, height: 559});
        await browser.send('Emulation.setDeviceMetricsOverride', {width: 800, height: 600, deviceScaleFactor: 1,
                                                                  mobile: false});
        const webFile = path.join(work, 'web_well.png');
        fs.writeFileSync(webFile, shot);
        const compare = spawnSync(desktopWell, [published.file, webFile, path.join(work, 'desktop_well.png')],
                                  {cwd: work, encoding: 'utf8', timeout: 300000,
                                   env: {...process.env, QT_QPA_PLATFORM: 'offscreen'}});
        if (compare.status !== 0)
            throw new Error(`the well differs from the desktop's: ${compare.error || ''}${compare.stderr}${compare.stdout}`);
    },

    async tellsOfBadAddressesAndReplays({browser, port, published}) {
        const table = [
            {what: 'an id no game has', url: `/watch.html?id=987654`, text: /no verified game/i},
            {what: 'no id', url: `/watch.html`, text: /\?id=/},
            {what: 'an id that is no number', url: `/watch.html?id=1x`, text: /\?id=/},
            {what: 'a damaged replay', url: `/watch.html?id=${published.id}`, text: /damaged|checksum|cannot be played/i,
             damage: true},
        ];
        for (const c of table) {
            if (c.damage) {
                await browser.send('Fetch.enable', {patterns: [{urlPattern: '*replay.php*', requestStage: 'Response'}]});
                browser.listeners.push(async (m) => {
                    if (m.method !== 'Fetch.requestPaused')
                        return;
                    const {body} = await browser.send('Fetch.getResponseBody', {requestId: m.params.requestId});
                    const bytes = Buffer.from(body, 'base64');
                    bytes[bytes.length - 1] ^= 0x5a;
                    await browser.send('Fetch.fulfillRequest', {requestId: m.params.requestId, responseCode: 200,
                                                               body: bytes.toString('base64')});
                });
            }
            await browser.navigate(`http://127.0.0.1:${port}${c.url}`);
            await browser.waitFor(`document.body.dataset.state === 'error'`, 20000, `the error state for ${c.what}`);
            const text = await browser.evaluate(`document.getElementById('message').textContent`);
            if (!c.text.test(text))
                throw new Error(`${c.what}: the page says "${text}"`);
            if (c.damage)
                await browser.send('Fetch.disable');
        }
    },

    async tellsABrowserWithoutWebAssembly({browser, port}) {
        const {identifier} = await browser.send('Page.addScriptToEvaluateOnNewDocument',
                                                {source: 'delete globalThis.WebAssembly;'});
        for (const page of ['watch.html?id=1', 'play.html']) {
            await browser.navigate(`http://127.0.0.1:${port}/${page}`);
            await browser.waitFor(`document.body.dataset.state === 'error'`, 20000, `the error state of ${page}`);
            const text = await browser.evaluate(`document.getElementById('message').textContent`);
            if (!/WebAssembly/.test(text))
                throw new Error(`${page} without WebAssembly says "${text}"`);
        }
        await browser.send('Page.removeScriptToEvaluateOnNewDocument', {identifier});
    },

    async playsPublishesAndIsVerified({browser, port}) {
        await browser.navigate(`http://127.0.0.1:${port}/play.html`);
        await browser.waitFor(`document.body.dataset.state === 'ready'`, 20000, 'the play page ready');
        const before = await watchedIds(port);
        // A player's game: figures dropped until the well is full, then the
        // name typed into the entry.
        await browser.press('Enter', 'Enter', 13, '\r');
        await browser.waitFor(`window.vantorix.view().running`, 20000, 'a game started by Enter');
        const fillBy = Date.now() + 180000;
        while (Date.now() < fillBy && await browser.evaluate(`window.vantorix.view().running`)) {
            // Slower than the drop's grace, which every key pressed in it renews.
            await browser.press(' ', 'Space', 32, ' ');
            await sleep(300);
        }
        await browser.waitFor(`window.vantorix.view().nameEntry`, 30000, 'the name entry');
        await browser.evaluate(`(() => { const e = document.querySelector('input[type=text]'); e.focus(); e.select(); })()`);
        await browser.send('Input.insertText', {text: 'Tester'});
        // The autopilot's key right behind Enter, in the same task, before
        // the page draws again: it is the game's, not the closed entry's.
        await browser.evaluate(`(() => {
            const entry = document.querySelector('input[type=text]');
            entry.dispatchEvent(new KeyboardEvent('keydown', {key: 'Enter', code: 'Enter', bubbles: true}));
            window.dispatchEvent(new KeyboardEvent('keydown', {key: 'a', code: 'KeyA', bubbles: true}));
        })()`);
        await browser.waitFor(`window.vantorix.view().records.some((r) => r[1] === 'Tester')`, 20000, 'the name entered');
        await browser.waitFor(`window.vantorix.view().running && window.vantorix.view().score !== '0'`, 120000,
                              'the autopilot scoring').catch(async (error) => {
            throw new Error(`${error.message}: ${await browser.evaluate(`JSON.stringify({focus: document.activeElement.outerHTML.slice(0, 80),
                view: (({running, paused, autopilot, nameEntry, gameOver, pause, away, about, options}) =>
                       ({running, paused, autopilot, nameEntry, gameOver, pause, away, about, options}))(window.vantorix.view()),
                message: document.getElementById('message').textContent})`)} asked ${browser.dialogs}`);
        });
        await browser.press('a', 'KeyA', 65, 'a');
        await browser.waitFor(`window.vantorix.view().records.some((r) => r[1] === 'AUTOPILOT')`, 20000,
                              'the autopilot\'s row');
        const stored = await browser.evaluate(`Object.keys(localStorage).filter((k) => k.startsWith('vantorix2:'))`);
        if (!stored.some((k) => k.endsWith('vantorix2.rez')))
            throw new Error(`the records are not kept in the browser: ${JSON.stringify(stored)}`);
        await browser.waitFor(`!window.vantorix.view().running && !document.getElementById('publish').disabled`,
                              20000, 'the game over and publishing open');
        await browser.evaluate(`document.getElementById('publish').click()`);
        const ids = await until('the games published from the page verified', 30000, async () => {
            const now = await watchedIds(port);
            return now.length >= before.length + 2 && now;
        }).catch(async (error) => {
            throw new Error(`${error.message}: the page says ${await browser.evaluate(
                `JSON.stringify({message: document.getElementById('message').textContent,
                                 records: window.vantorix.view().records})`)}, asked ${browser.dialogs}`);
        });
        if (ids.length !== before.length + 2)
            throw new Error(`expected two more verified rows, got ${JSON.stringify(ids)}`);
        // Kept over a reload: the Top 30 lives in the browser's storage.
        await browser.navigate(`http://127.0.0.1:${port}/play.html`);
        await browser.waitFor(`document.body.dataset.state === 'ready' && window.vantorix.view().records.length === 2`,
                              20000, 'the records after a reload');
    },
};

async function main() {
    fs.rmSync(work, {recursive: true, force: true});
    fs.mkdirSync(work, {recursive: true});
    const {port, server, log} = await startServer();
    let browser;
    const failed = [];
    try {
        const published = await publishSimGame(port);
        browser = await Browser.launch();
        for (const [name, run] of Object.entries(cases)) {
            if (only.length && !only.includes(name))
                continue;
            try {
                await run({browser, port, published});
                console.log(`ok   ${name}`);
            } catch (error) {
                failed.push(name);
                console.log(`FAIL ${name}: ${error.message}\n${browser.console.slice(-20).join('\n')}`);
            }
            browser.console.length = 0;
        }
    } finally {
        if (browser)
            await browser.close();
        server.kill('SIGTERM');
        if (failed.length)
            console.log(`server log:\n${log().split('\n').filter((l) => !/ GET \/view\.php/.test(l)).join('\n').slice(-4000)}`);
    }
    return failed.length ? 1 : 0;
}

main().then((status) => { process.exitCode = status; },
            (error) => { console.error(error); process.exitCode = 1; });
