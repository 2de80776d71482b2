# Turns hyperfine's JSON export of a command-line race into figures lines
# ("name value") for scripts/bench: median time and run count of
# velmora-resolve (cli_ours_*) and of yt-dlp -g (cli_ytdlp_*), or of the
# native velmora-resolve (cli_native_*) and velmora-resolve.exe under Wine
# (cli_windows_*).
#   python3 bench/hyperfine_figures.py HYPERFINE.json
import json
import sys


def main():
    with open(sys.argv[1]) as f:
        results = json.load(f)['results']
    for r in results:
        # The names are the ones scripts/bench gives hyperfine with -n.
        key = {'velmora-resolve': 'cli_ours', 'yt-dlp': 'cli_ytdlp', 'native': 'cli_native',
               'windows': 'cli_windows'}[r['command']]
        print(f"{key}_median_ms {r['median'] * 1e3:.6g}")
        print(f"{key}_runs {len(r['times'])}")


if __name__ == '__main__':
    main()
