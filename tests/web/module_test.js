// The web edition's module under Node, through its exports as the pages use
// them: a game played by the autopilot on the session's own requests, its
// records kept in /store, the view and the well as the page draws them, and
// inputs out of range or unreadable refused without harm.
// Usage: node --no-experimental-fetch module_test.js MODULE.js
'use strict';
const path = require('path');

function makeFront() {
    return {
        timers: new Map(), wake: false, errors: [], asked: [], shown: 0,
        wakeLater() { this.wake = true; },
        startTimer(kind, ms) { this.timers.set(kind, ms); },
        stopTimer(kind) { this.timers.delete(kind); },
        setTimerInterval(kind, ms) { if (this.timers.has(kind)) this.timers.set(kind, ms); },
        show(parts) { this.shown |= parts; },
        playSound(kind, resource, frequency, ms, queued) { return queued ? ms : 0; },
        reportError(text) { this.errors.push(text); },
        ask(critical, caption, text, yesNo) { this.asked.push({caption, text, yesNo}); },
    };
}

// Runs the session on a virtual clock: posted work first, then the timer
// due soonest (a wait ends before the next fall tick).
function run(m, front, steps, until) {
    for (let k = 0; k < steps && !until(); ++k) {
        if (front.wake) {
            front.wake = false;
            m._vx_deliver();
        } else if (front.timers.has(2)) {
            front.timers.delete(2);
            m._vx_timer(2);
        } else if (front.timers.has(1)) {
            m._vx_timer(1);
        } else if (front.timers.has(0)) {
            m._vx_timer(0);
        } else {
            return false;
        }
    }
    return until();
}

async function main() {
    const front = makeFront();
    const m = await require(path.resolve(process.argv[2]))({front, print: () => {}, printErr: () => {}});
    const text = (s) => { const n = m.lengthBytesUTF8(s) + 1, at = m._malloc(n); m.stringToUTF8(s, at, n); return at; };
    const view = () => JSON.parse(m.UTF8ToString(m._vx_view()));
    const faults = [];
    const expect = (ok, what) => { if (!ok) faults.push(what); };

    // Options kept from a page of another site: the records go to this one.
    m.FS.mkdir('/store');
    m.FS.writeFile('/store/vantorix2.ini', '[Online]\r\nServer=elsewhere.invalid:1\r\n[Color]\r\nMode=3\r\n');
    const server = text('127.0.0.1:8642'), player = text('Tester');
    expect(m._vx_create(1, 12345, server, player) === 1, 'the session is made');
    m._vx_start();
    let v = view();
    expect(v.keyHelp.length === 17 && v.keyHelp[0][0].trim() === 'ENTER', 'the key list has its 17 rows');
    expect(v.captions.Label1 === (v.language === 1 ? 'SCORE' : 'СЧЕТ'), 'the captions are the language in force');
    expect(v.site === 'http://127.0.0.1:8642/', `the site is the page's own: ${v.site}`);
    expect(v.colourMode === 3, 'the rest of the kept options are read');

    // A player's game, figures dropped until the well is full: the name
    // entry opens for the Top 30 and takes only what the records can hold.
    m._vx_key(13);
    expect(run(m, front, 1000, () => view().running), 'Enter starts a game');
    for (let k = 0; k < 400 && view().running; ++k) {
        m._vx_key(32);
        run(m, front, 50, () => !view().running);
    }
    expect(run(m, front, 1000, () => view().nameEntry), 'the name entry opens');
    expect(m.UTF8ToString(m._vx_name_typed(text('Ann\u4e00e'))) === 'Anne', 'a name keeps only what the records can hold');
    m._vx_name_enter();
    run(m, front, 1000, () => false);
    expect(view().records.length === 1 && view().records[0][1] === 'Anne', `the row is named: ${JSON.stringify(view().records)}`);

    // The autopilot plays until it has scored; switched off, its game ends
    // and goes in as its own.
    m._vx_key(65);
    expect(run(m, front, 200000, () => view().running && view().score !== '0'), 'the autopilot scores');
    m._vx_key(65);
    run(m, front, 1000, () => false);
    v = view();
    expect(v.records.length === 2 && v.records.some((r) => r[1] === 'AUTOPILOT'),
           `the autopilot's row: ${JSON.stringify(v.records)} ${front.errors} ${front.asked.map((a) => a.text)}`);
    const stored = m.FS.readdir('/store');
    expect(stored.includes('vantorix2.rez') && stored.includes('vantorix2.ini'), `the files are kept: ${stored}`);
    expect(m.FS.readdir('/store/vantorix2.replays').filter((f) => f.endsWith('.vxr')).length === 2,
           'the games\' replays are kept');

    // The well as the canvas takes it, in each colour mode.
    const well = () => m.HEAPU8.slice(m._vx_well_rgba(), m._vx_well_rgba() + 218 * 559 * 4);
    const pixel = (w, x, y) => Array.from(w.subarray((y * 218 + x) * 4, (y * 218 + x) * 4 + 4));
    for (const [key, mode] of [[49, 1], [50, 2], [51, 3]]) {
        m._vx_key(key);
        const w = well();
        expect(view().colourMode === mode, `key ${key} sets mode ${mode}`);
        expect(pixel(w, 0, 0).join() === '0,0,0,255', `mode ${mode}: the grid lines are black`);
        let drawn = 0;
        for (let y = 1; y < 559; y += 31)
            for (let x = 1; x < 218; x += 31)
                drawn += pixel(w, x + 15, y + 15).join() !== '0,0,0,255';
        expect(drawn > 0, `mode ${mode}: the cells left in the well are drawn`);
    }
    expect(m._vx_cell_rgba(8) === 0 && m._vx_cell_rgba(0) === 0, 'no picture outside codes 1..7');

    // Out of range or unreadable: refused, told, the session goes on.
    const before = JSON.stringify(view());
    m._vx_timer(7); m._vx_menu(99); m._vx_set_colour(9, 0); m._vx_set_switch(-1, 1);
    expect(JSON.stringify(view()) === before, 'inputs out of range change nothing');
    const garbage = text('not a replay at all');
    front.errors.length = 0;
    expect(m._vx_watch(garbage, 19) === 0 && front.errors.length === 1 && /replay/i.test(front.errors[0]),
           `an unreadable replay is refused and told: ${front.errors}`);
    expect(!view().watching, 'nothing is watched after it');

    if (faults.length) {
        console.error(`the module differs:\n  ${faults.join('\n  ')}`);
        return 1;
    }
    console.log('the module plays, keeps and draws as the pages expect');
    return 0;
}

main().then((status) => { process.exitCode = status; },
            (error) => { console.error(error); process.exitCode = 1; });
