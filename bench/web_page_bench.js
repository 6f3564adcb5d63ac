// The web edition's page figures in headless Chromium: time from navigation
// to the first drawn frame, and a replay played "to the end".
// Usage: node web_page_bench.js URL ROUNDS
'use strict';
const path = require('path');
const {Browser} = require(path.join(__dirname, '..', 'tests', 'web', 'cdp.js'));

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

async function main() {
    const [url, rounds = '5'] = process.argv.slice(2);
    const browser = await Browser.launch();
    const firstFrame = [], toEnd = [];
    try {
        for (let round = 0; round < Number(rounds); ++round) {
            await browser.navigate(`${url}${url.includes('?') ? '&' : '?'}round=${round}`);
            await browser.waitFor(`document.body.dataset.state === 'watching'`, 30000, 'watching');
            firstFrame.push(await browser.evaluate(
                `performance.getEntriesByName('vantorix2-first-frame')[0]?.startTime ?? -1`));
            const ms = await browser.evaluate(`new Promise((resolve) => {
                const start = performance.now();
                document.getElementById('to-end').click();
                const poll = () => document.body.dataset.state === 'ended'
                    ? resolve(performance.now() - start) : setTimeout(poll, 5);
                poll();
            })`);
            toEnd.push(ms);
        }
        const view = await browser.evaluate('window.vantorix.view()');
        console.log(JSON.stringify({
            first_frame_ms_median: Math.round(median(firstFrame)), first_frame_ms: firstFrame.map(Math.round),
            to_the_end_ms_median: Math.round(median(toEnd)), to_the_end_ms: toEnd.map(Math.round),
            score: view.score, level: view.level,
        }));
    } finally {
        await browser.close();
    }
}

main().catch((error) => { console.error(error.message); process.exitCode = 1; });
