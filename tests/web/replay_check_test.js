// The web edition's replay check against the native one: every replay in
// FOLDER (game-1.vxr ...) gives the line EXPECTED holds for it and the line
// `vantorix2-sim replay` prints, and damaged copies of the first are refused
// by both for the same reason.
// Usage: node --no-experimental-fetch replay_check_test.js MODULE.js SIM EXPECTED.jsonl FOLDER
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const {spawnSync} = require('child_process');

function nativeCheck(sim, file) {
    const run = spawnSync(sim, ['replay', file], {encoding: 'utf8', timeout: 120000});
    if (run.status === 0)
        return {line: run.stdout.trim()};
    const prefix = `vantorix2-sim: ${file}: `;
    const reason = run.stderr.trim();
    return {error: reason.startsWith(prefix) ? reason.slice(prefix.length) : reason};
}

function webCheck(module, bytes) {
    const at = module._malloc(Math.max(bytes.length, 1));
    module.HEAPU8.set(bytes, at);
    const line = module.UTF8ToString(module._vx_check_replay(at, bytes.length));
    module._free(at);
    return line.startsWith('error: ') ? {error: line.slice('error: '.length)} : {line};
}

// Damage done to a good replay, each refused by a rule of the reader (an
// oversized file natively already by the file reader: only refused alike).
const damages = [
    ['cut short', (b) => b.subarray(0, b.length - 9)],
    ['checksum broken', (b) => { const c = Buffer.from(b); c[c.length - 1] ^= 0x5a; return c; }],
    ['another signature', (b) => { const c = Buffer.from(b); c[0] = 0x58; return c; }],
    ['another version', (b) => { const c = Buffer.from(b); c[4] = 9; return c; }],
    ['empty', () => Buffer.alloc(0)],
    ['bytes after the end', (b) => Buffer.concat([b, Buffer.from([0])])],
    ['over a mebibyte', (b) => Buffer.concat([b, Buffer.alloc(1 << 20)]), 'refused'],
];

async function main() {
    const [moduleFile, sim, expectedFile, folder] = process.argv.slice(2);
    const module = await require(path.resolve(moduleFile))({print: () => {}, printErr: () => {}});
    const expected = fs.readFileSync(expectedFile, 'utf8').split('\n').filter((l) => l.trim() !== '');
    const faults = [];
    expected.forEach((want, k) => {
        const file = path.join(folder, `game-${k + 1}.vxr`);
        const web = webCheck(module, fs.readFileSync(file));
        const native = nativeCheck(sim, file);
        if (web.line !== want || native.line !== want)
            faults.push(`${file}\n  expected ${want}\n  native   ${JSON.stringify(native)}\n  web      ${JSON.stringify(web)}`);
    });
    const good = fs.readFileSync(path.join(folder, 'game-1.vxr'));
    const scratch = fs.mkdtempSync(path.join(os.tmpdir(), 'vantorix2-web-'));
    for (const [name, damage, alike] of damages) {
        const file = path.join(scratch, 'damaged.vxr');
        const bytes = damage(good);
        fs.writeFileSync(file, bytes);
        const web = webCheck(module, bytes);
        const native = nativeCheck(sim, file);
        if (!web.error || !native.error || (alike !== 'refused' && web.error !== native.error))
            faults.push(`${name}\n  native ${JSON.stringify(native)}\n  web    ${JSON.stringify(web)}`);
    }
    fs.rmSync(scratch, {recursive: true, force: true});
    if (faults.length) {
        console.error(`the web edition's check differs:\n${faults.join('\n')}`);
        return 1;
    }
    console.log(`${expected.length} replays and ${damages.length} damaged copies checked as natively`);
    return 0;
}

main().then((status) => { process.exitCode = status; },
            (error) => { console.error(error); process.exitCode = 1; });
