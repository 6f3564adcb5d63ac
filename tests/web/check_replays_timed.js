// The wasm side of the replay check figures (bench/web_bench.sh): checks the
// files ROUNDS times in the module under Node and prints the time taken,
// the module's loading not counted.
// Usage: node --no-experimental-fetch check_replays_timed.js MODULE.js ROUNDS FILE...
'use strict';
const fs = require('fs');
const path = require('path');

async function main() {
    const [moduleFile, rounds, ...files] = process.argv.slice(2);
    const module = await require(path.resolve(moduleFile))({print: () => {}, printErr: () => {}});
    const replays = files.map((file) => fs.readFileSync(file));
    let chars = 0;
    const start = process.hrtime.bigint();
    for (let round = 0; round < Number(rounds); ++round) {
        for (const bytes of replays) {
            const at = module._malloc(Math.max(bytes.length, 1));
            module.HEAPU8.set(bytes, at);
            const line = module.UTF8ToString(module._vx_check_replay(at, bytes.length));
            module._free(at);
            if (line.startsWith('error: '))
                throw new Error(line);
            chars += line.length;
        }
    }
    const ms = Number(process.hrtime.bigint() - start) / 1e6;
    console.log(JSON.stringify({rounds: Number(rounds), files: files.length, ms: Math.round(ms * 10) / 10, chars}));
}

main().catch((error) => { console.error(error.message); process.exitCode = 1; });
