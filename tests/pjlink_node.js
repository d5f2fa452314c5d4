// lumo-projector checked by another implementation of the protocol: npm's
// `pjlink` client queries power, input, mute, lamps, health and name and
// switches the power, with and without a password, and with a wrong one.
//   node pjlink_node.js LUMO_PROJECTOR NODE_MODULES_DIR
'use strict';
const {spawn} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const assert = require('assert');

const [simulator, modules] = process.argv.slice(2);
const PJLink = require(path.resolve(modules, 'pjlink'));

// Starts the simulator with `args`; resolves to its process and TCP port.
function start(args) {
    return new Promise((resolve, reject) => {
        const child = spawn(simulator, args, {stdio: ['pipe', 'pipe', 'inherit']});
        let out = '';
        child.stdout.on('data', chunk => {
            out += chunk;
            const m = /^LUMO_PJLINK=pjlink:\/\/[^\n]*:(\d+)\n/.exec(out);
            if (m)
                resolve({child, port: Number(m[1])});
        });
        child.on('exit', code => reject(new Error(`lumo-projector ended (${code}): ${out}`)));
    });
}

// One call of the client, as a promise of its value.
function ask(projector, method, ...args) {
    return new Promise((resolve, reject) => {
        const timer = setTimeout(() => reject(new Error(`${method}: no answer within 10 s`)), 10000);
        projector[method](...args, (err, value) => {
            clearTimeout(timer);
            err ? reject(err) : resolve(value);
        });
    });
}

async function until(what, check) {
    for (let i = 0; i < 200; ++i) {
        if (await check())
            return;
        await new Promise(r => setTimeout(r, 50));
    }
    throw new Error(`${what}: not within 10 s`);
}

// [name, simulator's password, client's password, expected refusal]
const cases = [
    ['open', null, null, null],
    ['password', 'sesame', 'sesame', null],
    ['wrong password', 'sesame', 'open', /Authorization failed|ERRA/],
];

async function run([name, simulatorPassword, password, refusal]) {
    const args = ['--warm-up', '0.3', '--cool-down', '0.3', '--errors', '010020',
                  '--name', 'Room-101', '--lamp-hours', '1500', '--class', '1'];
    let dir = null;
    if (simulatorPassword) {
        dir = fs.mkdtempSync(path.join(os.tmpdir(), 'lumo-pjlink-'));
        fs.writeFileSync(path.join(dir, 'password'), simulatorPassword + '\n', {mode: 0o600});
        args.push('--password-file', path.join(dir, 'password'));
    }
    const {child, port} = await start(args);
    const projector = new PJLink('127.0.0.1', port, password);
    try {
        if (refusal) {
            await assert.rejects(ask(projector, 'getPowerState'), refusal);
            console.log(`ok - ${name}: refused`);
            return;
        }
        assert.strictEqual(await ask(projector, 'getPowerState'), PJLink.POWER.OFF);
        assert.strictEqual(await ask(projector, 'getName'), 'Room-101');
        assert.strictEqual(await ask(projector, 'getManufacturer'), 'Lumo');
        assert.strictEqual(String(await ask(projector, 'getClass')), '1');
        const errors = await ask(projector, 'getErrors');
        assert.deepStrictEqual(errors, {fan: false, lamp: 'warning', temperature: false,
                                        cover: false, filter: 'error', other: false});
        assert.deepStrictEqual(await ask(projector, 'getLamps'), [{hours: 1500, on: false}]);
        await ask(projector, 'powerOn');
        await until('warm-up', async () => (await ask(projector, 'getPowerState')) === PJLink.POWER.ON);
        assert.strictEqual((await ask(projector, 'getInput')).code, '31');
        await ask(projector, 'setInput', {source: 'rgb', channel: 1});
        assert.strictEqual((await ask(projector, 'getInput')).code, '11');
        await ask(projector, 'setMute', {video: true, audio: true});
        assert.deepStrictEqual(await ask(projector, 'getMute'), {video: true, audio: true});
        await ask(projector, 'powerOff');
        await until('cool-down', async () => (await ask(projector, 'getPowerState')) === PJLink.POWER.OFF);
        console.log(`ok - ${name}`);
    } finally {
        projector.disconnect();
        child.kill('SIGTERM');
        if (dir)
            fs.rmSync(dir, {recursive: true});
    }
}

(async () => {
    for (const c of cases)
        await run(c);
})().catch(err => {
    console.error(`not ok - ${err.stack || err}`);
    process.exit(1);
});
