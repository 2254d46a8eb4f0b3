// The page's frame: panes resized by their splitters (mouse or arrow keys),
// light or dark as the system has it or as chosen, and, when served over
// HTTP(S), a service worker that keeps the page for use offline.

const $ = (id) => document.getElementById(id);

function splitters(panes) {
  for (const bar of panes.querySelectorAll('.splitter')) {
    const name = bar.dataset.var;
    const set = (percent) => {
      const p = Math.max(20, Math.min(60, Math.round(percent)));
      panes.style.setProperty(name, `${p}%`);
      bar.setAttribute('aria-valuenow', String(p));
      localStorage.setItem(`wren-pane${name}`, String(p));
    };
    const saved = Number(localStorage.getItem(`wren-pane${name}`));
    if (saved) set(saved);
    bar.addEventListener('keydown', (e) => {
      const step = { ArrowLeft: -2, ArrowRight: 2, Home: -100, End: 100 }[e.key];
      if (step === undefined) return;
      e.preventDefault();
      set(Number(bar.getAttribute('aria-valuenow')) + step);
    });
    bar.addEventListener('pointerdown', (e) => {
      e.preventDefault();
      bar.setPointerCapture(e.pointerId);
      const box = panes.getBoundingClientRect();
      // The first splitter sizes the first pane; the second, the middle one.
      const left = bar.previousElementSibling.getBoundingClientRect().left;
      const move = (m) => set(((m.clientX - left) / box.width) * 100);
      bar.addEventListener('pointermove', move);
      bar.addEventListener('pointerup', () => bar.removeEventListener('pointermove', move), { once: true });
    });
  }
}

function theme(say) {
  const button = $('theme');
  const system = matchMedia('(prefers-color-scheme: dark)');
  const apply = () => {
    const chosen = localStorage.getItem('wren-theme');
    const dark = chosen ? chosen === 'dark' : system.matches;
    document.documentElement.dataset.theme = dark ? 'dark' : 'light';
    button.setAttribute('aria-pressed', String(dark));
    button.textContent = 'Dark';
  };
  system.addEventListener('change', apply);
  button.addEventListener('click', () => {
    const dark = document.documentElement.dataset.theme !== 'dark';
    localStorage.setItem('wren-theme', dark ? 'dark' : 'light');
    apply();
    say(dark ? 'Dark colours' : 'Light colours');
  });
  apply();
}

// Opened from disk the page needs nothing more; served, it can be installed.
function offline() {
  if (!/^https?:$/.test(location.protocol) || !('serviceWorker' in navigator)) return;
  const manifest = document.createElement('link');
  manifest.rel = 'manifest';
  manifest.href = 'wren-simulator.webmanifest';
  document.head.append(manifest);
  navigator.serviceWorker.register('wren-simulator-sw.js').catch(() => {});
}

export function setUpLayout({ say }) {
  splitters($('panes'));
  theme(say);
  offline();
}
