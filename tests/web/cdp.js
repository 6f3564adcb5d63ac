// A headless Chromium driven through the DevTools protocol over a pipe (no
// port to find or to share): open a page, evaluate in it, type, take
// screenshots. Used by the browser tests and the web benchmark.
'use strict';
const {spawn} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');

class Browser {
    static async launch({width = 800, height = 600} = {}) {
        const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'vantorix2-chromium-'));
        const child = spawn('chromium', [
            '--headless', '--no-sandbox', '--disable-gpu', '--remote-debugging-pipe', '--no-first-run',
            '--no-default-browser-check', '--disable-extensions', '--disable-background-networking',
            '--disable-component-update', '--disable-sync', '--metrics-recording-only', '--mute-audio',
            '--autoplay-policy=no-user-gesture-required', `--user-data-dir=${profile}`,
            `--window-size=${width},${height}`, 'about:blank',
        ], {stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe']});
        const browser = new Browser(child, profile);
        await browser.attach(width, height);
        return browser;
    }

    constructor(child, profile) {
        this.child = child;
        this.profile = profile;
        this.nextId = 1;
        this.waiting = new Map();
        this.listeners = [];
        this.stderr = '';
        this.buffer = Buffer.alloc(0);
        child.stderr.on('data', (d) => { this.stderr = (this.stderr + d).slice(-4000); });
        child.stdio[4].on('data', (data) => this.receive(data));
        this.exited = new Promise((resolve) => child.on('exit', resolve));
    }

    receive(data) {
        this.buffer = Buffer.concat([this.buffer, data]);
        let end;
        while ((end = this.buffer.indexOf(0)) >= 0) {
            const message = JSON.parse(this.buffer.subarray(0, end).toString('utf8'));
            this.buffer = this.buffer.subarray(end + 1);
            if (message.id && this.waiting.has(message.id)) {
                const {resolve, reject, method} = this.waiting.get(message.id);
                this.waiting.delete(message.id);
                if (message.error)
                    reject(new Error(`${method}: ${message.error.message}`));
                else
                    resolve(message.result);
            } else if (message.method) {
                for (const listener of this.listeners)
                    listener(message);
            }
        }
    }

    send(method, params = {}, sessionId = this.session) {
        const id = this.nextId++;
        const message = {id, method, params};
        if (sessionId)
            message.sessionId = sessionId;
        return new Promise((resolve, reject) => {
            this.waiting.set(id, {resolve, reject, method});
            this.child.stdio[3].write(JSON.stringify(message) + '\0');
        });
    }

    async attach(width, height) {
        const {targetInfos} = await this.send('Target.getTargets', {}, null);
        const page = targetInfos.find((t) => t.type === 'page');
        const {sessionId} = await this.send('Target.attachToTarget', {targetId: page.targetId, flatten: true}, null);
        this.session = sessionId;
        await this.send('Page.enable');
        await this.send('Runtime.enable');
        await this.send('Emulation.setDeviceMetricsOverride', {width, height, deviceScaleFactor: 1, mobile: false});
        this.console = [];
        // The pages' questions and messages are answered yes, and kept.
        this.dialogs = [];
        this.listeners.push((m) => {
            if (m.method === 'Page.javascriptDialogOpening') {
                this.dialogs.push(m.params.message);
                this.send('Page.handleJavaScriptDialog', {accept: true}).catch(() => {});
            }
            if (m.method === 'Runtime.exceptionThrown')
                this.console.push(`exception: ${m.params.exceptionDetails.text} ${
                    (m.params.exceptionDetails.exception || {}).description || ''}`);
            if (m.method === 'Runtime.consoleAPICalled')
                this.console.push(`${m.params.type}: ${m.params.args.map((a) => a.value ?? a.description).join(' ')}`);
        });
    }

    async navigate(url) {
        const loaded = new Promise((resolve) => {
            const listener = (m) => {
                if (m.method === 'Page.loadEventFired') {
                    this.listeners.splice(this.listeners.indexOf(listener), 1);
                    resolve();
                }
            };
            this.listeners.push(listener);
        });
        const result = await this.send('Page.navigate', {url});
        if (result.errorText)
            throw new Error(`navigating to ${url}: ${result.errorText}`);
        await loaded;
    }

    async evaluate(expression) {
        const {result, exceptionDetails} =
            await this.send('Runtime.evaluate', {expression, awaitPromise: true, returnByValue: true});
        if (exceptionDetails)
            throw new Error(`${expression}: ${exceptionDetails.text} ${(exceptionDetails.exception || {}).description || ''}`);
        return result.value;
    }

    // Polls an expression until it is true, or fails after the time given.
    async waitFor(expression, milliseconds, what = expression) {
        const until = Date.now() + milliseconds;
        for (;;) {
            const value = await this.evaluate(expression);
            if (value)
                return value;
            if (Date.now() > until)
                throw new Error(`waited ${milliseconds} ms for ${what}; page said ${
                    await this.evaluate('document.body ? JSON.stringify(document.body.dataset) : ""')}\n${
                    this.console.join('\n')}`);
            await new Promise((r) => setTimeout(r, 50));
        }
    }

    // A key pressed and released, as the keyboard sends it.
    async press(key, code, keyCode, text) {
        const common = {key, code, windowsVirtualKeyCode: keyCode, nativeVirtualKeyCode: keyCode};
        await this.send('Input.dispatchKeyEvent', {type: text ? 'keyDown' : 'rawKeyDown', ...common, text});
        await this.send('Input.dispatchKeyEvent', {type: 'keyUp', ...common});
    }

    async screenshot(clip) {
        const {data} = await this.send('Page.captureScreenshot',
                                       {format: 'png', clip: {...clip, scale: 1}, captureBeyondViewport: false});
        return Buffer.from(data, 'base64');
    }

    async close() {
        try {
            await Promise.race([this.send('Browser.close', {}, null), new Promise((r) => setTimeout(r, 3000))]);
        } catch (e) { /* gone already */ }
        const timer = setTimeout(() => this.child.kill('SIGKILL'), 5000);
        await this.exited;
        clearTimeout(timer);
        fs.rmSync(this.profile, {recursive: true, force: true});
    }
}

module.exports = {Browser};
