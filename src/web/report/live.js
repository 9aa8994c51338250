// The live page of `kovra tune`: the game's frames come from the server that
// served the page as server-sent events (the pose of each frame, the screen
// when it changed), and the keys held and typed here go back to the game.

// Windows virtual-key codes of the keys the game's menu and a player use.
const NAMED_KEYS = {
  Backspace: 8, Tab: 9, Enter: 13, ShiftLeft: 16, ShiftRight: 16, ControlLeft: 17, ControlRight: 17,
  AltLeft: 18, AltRight: 18, Escape: 27, Space: 32, PageUp: 33, PageDown: 34, End: 35, Home: 36,
  ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40, Insert: 45, Delete: 46,
};

export function virtualKey(code) {
  if (code in NAMED_KEYS) return NAMED_KEYS[code];
  let m = /^Key([A-Z])$/.exec(code);
  if (m) return m[1].charCodeAt(0);
  m = /^Digit([0-9])$/.exec(code);
  if (m) return 48 + Number(m[1]);
  m = /^Numpad([0-9])$/.exec(code);
  if (m) return 96 + Number(m[1]);
  m = /^F([1-9]|1[0-2])$/.exec(code);
  if (m) return 111 + Number(m[1]);
  return null;
}

// Keys whose browser meaning (scrolling, leaving the page's focus, going
// back) would get in the game's way.
const KEPT_FROM_BROWSER = new Set([8, 9, 32, 33, 34, 35, 36, 37, 38, 39, 40]);

export class LiveSession {
  // apply(message): a frame's pose; screen(svg): the game's screen.
  constructor(token, apply, screen) {
    this.token = token;
    this.held = new Set();
    this.typed = '';
    this.seq = 0;
    this.frame = -1;
    this.keySeq = 0;
    this.frames = 0;
    this.screenText = '';
    this.sending = Promise.resolve();
    this.events = new EventSource(`/events?token=${encodeURIComponent(token)}`);
    this.events.onmessage = (event) => {
      const message = JSON.parse(event.data);
      if (typeof message.screen === 'string') {
        this.screenText = message.screen;
        screen(message.screen);
      }
      if (message.nodes) {
        this.frame = message.frame;
        if (message.keySeq !== this.keySeq) this.keyFrame = message.frame;  // the frame that took them
        this.keySeq = message.keySeq;
        ++this.frames;
        apply(message);
      }
    };
    document.addEventListener('keydown', (event) => this.key(event, true));
    document.addEventListener('keyup', (event) => this.key(event, false));
    window.addEventListener('blur', () => { this.held.clear(); this.send(); });
  }

  key(event, down) {
    const code = virtualKey(event.code);
    if (code === null || event.metaKey) return;
    if (KEPT_FROM_BROWSER.has(code)) event.preventDefault();
    if (down && event.key.length === 1 && !event.ctrlKey && !event.altKey) this.typed += event.key;
    if (down === this.held.has(code) && !(down && event.key.length === 1)) return;  // a repeat
    if (down) this.held.add(code);
    else this.held.delete(code);
    this.send();
  }

  // One message at a time, in order; the answer names the game's frame.
  send() {
    const body = JSON.stringify({ held: [...this.held], typed: this.typed, seq: ++this.seq });
    this.typed = '';
    this.sending = this.sending.then(() => fetch(`/keys?token=${encodeURIComponent(this.token)}`, {
      method: 'POST', headers: { 'Content-Type': 'application/json' }, body,
    })).then((r) => r.json()).catch(() => null);
    return this.sending;
  }
}
