# Plots a soak run's samples (soak.csv, written by vmp-soak) as one PNG:
#   gnuplot -e "datafile='soak.csv'; outfile='soak.png'" bench/soak.gp
set datafile separator ","
set terminal pngcairo size 1200,1400 font "sans,10"
set output outfile
set key outside right top
set grid
set xlabel "minutes"
# Shades the samples taken while the platform was down.
down(col) = column("platform_up") == 0 ? col : 1/0
set multiplot layout 5,1 title "vmpclient soak run"

set ylabel "MiB"
set title "PSS of the process tree"
plot datafile using ($1/60):2 with lines lw 2 title "PSS (tree)", \
     "" using ($1/60):17 with lines title "PSS (browser)", \
     "" using ($1/60):(down(column(2))) with points pt 7 ps 0.6 lc rgb "red" title "platform down"

set ylabel "count"
set title "Threads and open file descriptors"
plot datafile using ($1/60):4 with lines title "threads (tree)", \
     "" using ($1/60):5 with lines title "threads (browser)", \
     "" using ($1/60):6 with lines title "fds (tree)", \
     "" using ($1/60):7 with lines title "fds (browser)"

set title "Engine layer: queued work and live objects"
set yrange [0:*]
set offsets 0, 0, 0.5, 0
plot datafile using ($1/60):8 with steps title "UI-thread tasks", \
     "" using ($1/60):9 with steps title "GUI-thread tasks", \
     "" using ($1/60):10 with steps title "deferred events", \
     "" using ($1/60):11 with steps title "error reads", \
     "" using ($1/60):12 with steps lw 3 title "browsers", \
     "" using ($1/60):13 with steps title "pages"

set offsets 0, 0, 0, 0
set ylabel "ms"
set title "Longest GUI-thread silence per sample (_NET_WM_PING)" noenhanced
plot datafile using ($1/60):14 with impulses lw 2 title "silence", 1000 with lines dt 2 lc rgb "red" title "1 s target"

set ylabel "clips"
set offsets 0, 0, 2, 0
set title "Camera clips served per sample"
plot datafile using ($1/60):15 with steps title "clips served", \
     "" using ($1/60):(down(column(15))) with points pt 7 ps 0.6 lc rgb "red" title "platform down"

unset multiplot
